#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Location.h"
#include "utils/StrategyType.h"
#include "utils/TRMode.h"

namespace trevalo::simulation {

// A circular region the location service monitors.
struct MonitoredRegion {
  std::string identifier;
  Coordinate center;
  double radius = 0.0;  // m

  bool operator==(const MonitoredRegion&) const = default;
};

// What the location service was doing after a strategy was applied: the power it draws
// follows from this.
struct LocationServiceState {
  bool updating = false;
  double desiredAccuracy = 0.0;  // m; negative for the platform's best
  double distanceFilter = 0.0;   // m; negative for none
  bool headings = false;
  bool significantChanges = false;
  std::vector<MonitoredRegion> regions{};

  bool operator==(const LocationServiceState&) const = default;
};

// A visit as the application saw it. A visit known only by its place (the early guess at a
// stop) has no arrival.
struct VisitRecord {
  std::optional<Date> arrival;
  std::optional<Date> departure;
  std::string venueId;
  std::string venueName;
  std::string addressId;
  std::string category;
  std::optional<Coordinate> coordinate;

  // The venue's name, else its address or venue identifier, else "unknown place".
  std::string placeName() const;
  bool operator==(const VisitRecord&) const = default;
};

// Why a recorded run line is not a valid event.
class RunEventError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One thing that happened in a replay, at its virtual time: a callback the application got,
// a mode the analyzer entered, a strategy applied to the location service, or a fix the
// device delivered. Its JSON form is one line of `--events`, named after the callback.
struct RunEvent {
  enum class Kind {
    kMode,           // "mode": the analyzer's mode
    kStrategy,       // "strategy": a strategy applied, with the location service's state
    kFix,            // "fix": a fix the device delivered to the SDK
    kLocation,       // "didUpdateLocation"
    kVisitStart,     // "didStartVisit"
    kVisitEnd,       // "didEndVisit"
    kActivity,       // "willChangeActivityMode"
    kGeofenceEnter,  // "didEnterRegion": a server geofence
    kGeofenceExit,   // "didExitRegion"
    kRegionChange,   // "changeRegion": any monitored region, as text
    kError,          // "didFailWithError"
  };

  Date time;
  Kind kind = Kind::kMode;
  TRMode mode = TRModeInitial;                // kMode
  StrategyType strategy = StrategyTypeUnset;  // kStrategy
  LocationServiceState service;               // kStrategy
  std::optional<Location> location;           // kFix, kLocation
  VisitRecord visit;                          // kVisitStart, kVisitEnd, kGeofence*: the venue
  std::uint64_t activity = 0;                 // kActivity
  std::optional<MonitoredRegion> geofence;    // kGeofence*
  std::string text;                           // kRegionChange, kError

  static const char* name(Kind kind) noexcept;

  Json toJson() const;
  // Raises RunEventError.
  static RunEvent fromJson(const Json& json);
};

}  // namespace trevalo::simulation
