#include "trevalo/platform/Location.h"

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <cstdio>
#include <limits>

namespace trevalo::platform {

Location::Location(Coordinate coordinate)
    : coordinate_(coordinate), horizontalAccuracy_(0.0), timestamp_(Date::now()) {}

Location::Location(Coordinate coordinate, double altitude, double horizontalAccuracy,
                   double verticalAccuracy, double course, double speed, Date timestamp) noexcept
    : coordinate_(coordinate),
      altitude_(altitude),
      horizontalAccuracy_(horizontalAccuracy),
      verticalAccuracy_(verticalAccuracy),
      course_(course),
      speed_(speed),
      timestamp_(timestamp) {}

double Location::distanceFromLocation(const Location& other) const {
  const auto inRange = [](double latitude) { return std::fabs(latitude) <= 90.0; };
  if (!inRange(coordinate_.latitude) || !inRange(other.coordinate_.latitude)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  double metres = 0.0;
  GeographicLib::Geodesic::WGS84().Inverse(coordinate_.latitude, coordinate_.longitude,
                                           other.coordinate_.latitude, other.coordinate_.longitude,
                                           metres);
  return metres;
}

std::string Location::description() const {
  char text[160];
  std::snprintf(text, sizeof text, "<%+.8f,%+.8f> +/- %.2fm (speed %.2f mps / course %.2f) @ ",
                coordinate_.latitude, coordinate_.longitude, horizontalAccuracy_, speed_, course_);
  return text + timestamp_.description();
}

}  // namespace trevalo::platform
