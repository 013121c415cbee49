#pragma once

#include <string>

#include "trevalo/platform/Date.h"

namespace trevalo::platform {

// One compass reading: magnetic and true heading and their accuracy in degrees, the raw
// geomagnetic x, y, z values, and the time of the reading.
struct Heading {
  double magneticHeading = 0.0;
  double trueHeading = 0.0;
  double headingAccuracy = 0.0;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  Date timestamp;

  std::string description() const;

  bool operator==(const Heading&) const = default;
};

}  // namespace trevalo::platform
