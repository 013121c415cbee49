#pragma once

#include <atomic>

#include "trevalo/platform/Clock.h"

namespace trevalo::platform {

// A clock that moves only when told to. Tests and replays drive it through the virtual-time
// run loop. Time never goes backwards: moving it to an earlier instant is refused.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(Date start, double uptimeAtStart = 1000.0) noexcept;

  Date now() const override;
  double systemUptime() const override;

  // Moves the clock forward to `date`; an earlier date throws an invalid-argument Exception.
  void advanceTo(Date date);
  void advanceBy(double seconds);
  // Moves the clock forward until `systemUptime()` reads `uptime`.
  void advanceToUptime(double uptime);

 private:
  std::atomic<double> now_;
  // Wall time of the device start. Uptime is now - boot; with boot close to now the
  // conversions between the two are exact, so timers fire at exactly their due dates.
  const double bootTime_;
};

}  // namespace trevalo::platform
