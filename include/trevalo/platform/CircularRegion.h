#pragma once

#include <string>

#include "trevalo/platform/Coordinate.h"

namespace trevalo::platform {

// A monitored circular area: centre, radius in metres, and the identifier the application or
// the SDK gave it. Monitoring a region replaces any monitored region with the same identifier.
struct CircularRegion {
  Coordinate center;
  double radius = 0.0;
  std::string identifier;

  bool operator==(const CircularRegion&) const = default;
};

}  // namespace trevalo::platform
