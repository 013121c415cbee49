#pragma once

#include <string>

#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"

namespace trevalo::platform {

// One location fix. An immutable value: coordinate (degrees), altitude (m), horizontal and
// vertical accuracy (m; negative means invalid), course (degrees from true north; negative
// means invalid), speed (m/s; negative means invalid) and the time of the fix.
class Location {
 public:
  // A fix at `coordinate` now: altitude 0, horizontal accuracy 0, vertical accuracy, course and
  // speed -1 (invalid).
  explicit Location(Coordinate coordinate);
  Location(Coordinate coordinate, double altitude, double horizontalAccuracy,
           double verticalAccuracy, double course, double speed, Date timestamp) noexcept;

  Coordinate coordinate() const noexcept { return coordinate_; }
  double altitude() const noexcept { return altitude_; }
  double horizontalAccuracy() const noexcept { return horizontalAccuracy_; }
  double verticalAccuracy() const noexcept { return verticalAccuracy_; }
  double course() const noexcept { return course_; }
  double speed() const noexcept { return speed_; }
  Date timestamp() const noexcept { return timestamp_; }

  // The geodesic distance along the WGS84 ellipsoid, in metres (NaN when either latitude is
  // outside [-90, 90]).
  double distanceFromLocation(const Location& other) const;

  // "<+48.85000000,+2.35000000> +/- 5.00m (speed 1.20 mps / course 90.00) @ <date>".
  std::string description() const;

  bool operator==(const Location&) const = default;

 private:
  Coordinate coordinate_;
  double altitude_ = 0.0;
  double horizontalAccuracy_ = 0.0;
  double verticalAccuracy_ = -1.0;
  double course_ = -1.0;
  double speed_ = -1.0;
  Date timestamp_;
};

}  // namespace trevalo::platform

namespace trevalo {
using platform::Location;
}
