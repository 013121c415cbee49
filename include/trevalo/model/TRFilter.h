#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// A venue filter the application passes with its options: it narrows venue resolution and the
// geofences fetched from the service. A plain record.
class TRFilter final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRFilter";

  std::optional<std::string> venueCategory;
  std::optional<std::string> venueName;
  double radius = 0.0;
  std::optional<std::string> addressId;

  TRFilter() = default;

  // The "filter" value of requests: one map per filter with "venue_category", "venue_name" and
  // "address_id" (missing fields left out, text trimmed). The radius is not sent. Null entries
  // of the list are skipped.
  static Json toArray(const std::vector<std::shared_ptr<TRFilter>>& filters);

  // Whether `object` is a filter this one accepts: the same radius (exactly), and for each of
  // category, name and address id that is set (non-empty) here, the same text there. Fields
  // missing or empty here match anything, so this is not symmetric.
  bool isEqual(const platform::Archivable* object) const;

  // "TRFilter: venueCategory: <text>; venueName: <text>; radius:<number> addressId:<text>".
  std::string description() const;

  static std::shared_ptr<TRFilter> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;
};

}  // namespace trevalo
