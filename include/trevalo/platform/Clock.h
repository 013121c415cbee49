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

  // How many of this clock's seconds pass in one real second: 1 for the real clock. A run loop
  // that waits in real time waits its timers' delays divided by it.
  virtual double rate() const noexcept { return 1.0; }
};

}  // namespace trevalo::platform
