#include "trevalo/platform/Heading.h"

#include <cstdio>

namespace trevalo::platform {

std::string Heading::description() const {
  char text[200];
  std::snprintf(text, sizeof text,
                "magneticHeading: %.2f trueHeading: %.2f accuracy: %.2f x: %.3f y: %.3f z: %.3f @ ",
                magneticHeading, trueHeading, headingAccuracy, x, y, z);
  return text + timestamp.description();
}

}  // namespace trevalo::platform
