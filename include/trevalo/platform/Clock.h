#pragma once

#include "trevalo/platform/Date.h"

namespace trevalo::platform {

// The source of "now" for the whole SDK. Nothing else reads the system time.
class Clock {
 public:
  virtual ~Clock() = default;

  // Wall-clock time.
  virtual Date now() const = 0;

  // Seconds since the device started; sensor samples are stamped with this time base.
  virtual double systemUptime() const = 0;
};

}  // namespace trevalo::platform
