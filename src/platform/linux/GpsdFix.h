#pragma once

#include <cmath>
#include <optional>

#include "trevalo/platform/Heading.h"
#include "trevalo/platform/Location.h"

namespace trevalo::platform {

// One position report of gpsd (a TPV with a 2D or 3D fix), as the receiver gave it. Values
// the report does not carry are NaN.
struct GpsdFix {
  static constexpr double kMissing = NAN;

  Date time;
  Coordinate coordinate;
  bool threeDimensional = false;
  double altitude = kMissing;           // metres above mean sea level
  double ellipsoidAltitude = kMissing;  // metres above the WGS84 ellipsoid
  double horizontalError = kMissing;    // eph, metres
  double longitudeError = kMissing;     // epx, metres
  double latitudeError = kMissing;      // epy, metres
  double verticalError = kMissing;      // epv, metres
  double track = kMissing;              // degrees from true north
  double magneticTrack = kMissing;      // degrees from magnetic north
  double trackError = kMissing;         // epd, degrees
  double speed = kMissing;              // metres per second

  // The fix as the platform reports fixes:
  //  - horizontal accuracy: the receiver's horizontal error estimate (eph); without it, the
  //    combined latitude and longitude estimates (epx, epy); without those, -1 (unknown);
  //  - altitude above mean sea level (or, without it, above the ellipsoid) on a 3D fix only,
  //    with the vertical estimate (epv) as its accuracy; otherwise 0 with accuracy -1;
  //  - course (the track) and speed as reported, -1 when absent.
  Location location() const;

  // The direction of travel as a compass reading, when the report has a track: the true
  // heading is the track, the magnetic one the magnetic track (or the track without it), the
  // accuracy the track's error estimate (-1 without it). No raw magnetometer values.
  std::optional<Heading> heading() const;
};

}  // namespace trevalo::platform
