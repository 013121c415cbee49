#include "trevalo/platform/simulated/VirtualClock.h"

#include <string>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

VirtualClock::VirtualClock(Date start, double uptimeAtStart) noexcept
    : now_(start.timeIntervalSince1970()),
      bootTime_(start.timeIntervalSince1970() - uptimeAtStart) {}

Date VirtualClock::now() const {
  return Date(now_.load(std::memory_order_acquire));
}

double VirtualClock::systemUptime() const {
  return now_.load(std::memory_order_acquire) - bootTime_;
}

void VirtualClock::advanceTo(Date date) {
  const double target = date.timeIntervalSince1970();
  double current = now_.load(std::memory_order_acquire);
  if (target < current) {
    throw Exception(Exception::kInvalidArgument, "virtual time cannot go backwards (from " +
                                                     now().description() + " to " +
                                                     date.description() + ")");
  }
  now_.store(target, std::memory_order_release);
}

void VirtualClock::advanceBy(double seconds) {
  advanceTo(now().dateByAddingTimeInterval(seconds));
}

void VirtualClock::advanceToUptime(double uptime) {
  // Converting to wall time may round below the current reading; time still only moves on.
  const Date target(uptime + bootTime_);
  if (target > now()) advanceTo(target);
}

}  // namespace trevalo::platform
