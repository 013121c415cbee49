#pragma once

#include "trevalo/platform/Clock.h"

namespace trevalo::platform {

// The real clock: wall time from the system clock, uptime from the monotonic clock.
//
// A rate other than 1 makes time pass that many times faster from the moment the clock is
// made, for playing a recorded receiver log faster than it was recorded (gpsfake's pace
// raised by the same factor) through a live SDK: every timer of a real-time run loop on this
// clock comes as many times sooner.
class SystemClock final : public Clock {
 public:
  // A rate that is not positive and finite raises an invalid-argument Exception.
  explicit SystemClock(double rate = 1.0);

  Date now() const override;
  double systemUptime() const override;
  double rate() const noexcept override { return rate_; }

 private:
  double rate_;
  double originTime_;    // real wall time when the clock was made, seconds since 1970
  double originUptime_;  // real uptime then
};

}  // namespace trevalo::platform
