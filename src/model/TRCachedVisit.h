#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Date.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// The tracker's record of one visit: the resolved place, when the visit started and ended, and
// whether the application was in the foreground during it. The start and the place are fixed
// at creation (they make the record's identity); the end and the foreground flag are set as the
// visit goes on.
class TRCachedVisit final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRCachedVisit";

  TRCachedVisit(std::shared_ptr<TRPlace> geocodeResult, Date startDate, bool appActive);

  // An open visit (no end date).
  static std::shared_ptr<TRCachedVisit> initWithResult(std::shared_ptr<TRPlace> geocodeResult,
                                                       Date startDate, bool appActive);

  // The identity of a visit at `place`: its address id, then its venue id, each empty when
  // missing; empty for no place.
  static std::string cachedIdForResult(const TRPlace* place);
  static std::string cachedIdForResult(const std::shared_ptr<const TRPlace>& place) {
    return cachedIdForResult(place.get());
  }
  std::string cachedVisitId() const;

  // The body of the visit-logging request. Times are whole milliseconds since 1970 (fraction
  // dropped; "end_time" 0 while open); missing values and NaN are left out; "lat" and "lng" are
  // 0 for a place without an address.
  Json dictionaryRepresentation() const;

  // The same record, or a visit that started at the same instant at the same place (by the
  // place's identity). The end and the foreground flag do not count. Two visits without a place
  // are at the same place.
  bool isEqual(const platform::Archivable* object) const;
  bool isEqualToVisitOperation(const platform::Archivable* object) const { return isEqual(object); }
  // Consistent with isEqual.
  std::size_t hash() const;

  // "<VenueVisit: startDate:<date>, venue:<place description>>".
  std::string description() const;
  // "<venue name>(<street number> <street name>)".
  std::string debugDescription() const;

  Date startDate() const noexcept { return startDate_; }
  const std::shared_ptr<TRPlace>& geocodeResult() const noexcept { return geocodeResult_; }
  bool appActive() const noexcept { return appActive_; }
  void setAppActive(bool appActive) noexcept { appActive_ = appActive; }
  const std::optional<Date>& endDate() const noexcept { return endDate_; }
  void setEndDate(std::optional<Date> endDate) noexcept { endDate_ = endDate; }

  // A record without its start date is damaged (ArchiveError).
  static std::shared_ptr<TRCachedVisit> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  Date startDate_;
  std::shared_ptr<TRPlace> geocodeResult_;
  bool appActive_ = false;
  std::optional<Date> endDate_;
};

}  // namespace trevalo
