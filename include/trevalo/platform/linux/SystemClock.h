#pragma once

#include "trevalo/platform/Clock.h"

namespace trevalo::platform {

// The real clock: wall time from the system clock, uptime from the monotonic clock.
class SystemClock final : public Clock {
 public:
  Date now() const override;
  double systemUptime() const override;
};

}  // namespace trevalo::platform
