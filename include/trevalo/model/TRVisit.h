#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Date.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

class TRCachedVisit;

// A stay at a place, as the application sees it. A plain record.
class TRVisit final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRVisit";

  std::optional<Date> arrivalDate;
  std::optional<Date> departureDate;  // missing while the visit goes on
  std::shared_ptr<TRPlace> place;

  TRVisit() = default;

  // One visit of the prior-visits answer: "start_time" in milliseconds, the departure
  // "dwell_time" milliseconds later (at arrival without one), the place from the "venue" and
  // "address" maps. Its place's events, alternatives and geometry are missing.
  static std::shared_ptr<TRVisit> initWithDictionary(const Json* dictionary);
  static std::shared_ptr<TRVisit> initWithDictionary(const Json& dictionary) {
    return initWithDictionary(&dictionary);
  }
  // One visit per element of the answer's "visits" array, in order; none without the array.
  static std::vector<std::shared_ptr<TRVisit>> visitsWithJson(const Json& json);

  // The tracker's record of a visit as the application sees it: its place (shared, not
  // copied), its start and its end, if it has one.
  static std::shared_ptr<TRVisit> initWithVisit(const TRCachedVisit& visit);

  static std::shared_ptr<TRVisit> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;
};

}  // namespace trevalo
