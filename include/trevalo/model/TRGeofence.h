#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Coordinate.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// A circle around a venue that the service asks the SDK to watch. A plain record.
class TRGeofence final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRGeofence";
  // The radius the service's geofences get; their JSON does not carry one.
  static constexpr double kDefaultRadius = 100.0;

  // "address" → "location" → "latitude", "longitude"; kCoordinateInvalid when either is
  // missing or not a number. A geofence without a valid centre is never entered.
  Coordinate center;
  double radius = 0.0;             // metres
  std::shared_ptr<TRVenue> venue;  // the whole element read as a venue map

  TRGeofence() = default;

  // A geofence from one element of the service's list (the spelling of `raduis` is the
  // documented one).
  static std::shared_ptr<TRGeofence> initWithDictionary(const Json& dictionary, double raduis);
  static std::shared_ptr<TRGeofence> initWithCoordinate(Coordinate coordinate, double radius);

  // One geofence of kDefaultRadius per element, in order; nothing when `json` is not an array.
  static std::optional<std::vector<std::shared_ptr<TRGeofence>>> geofencesWithJson(
      const Json& json);

  // "TRGeofence: venue:<name>; center: <latitude>,<longitude>; radius: <radius>".
  std::string description() const;

  static std::shared_ptr<TRGeofence> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;
};

}  // namespace trevalo
