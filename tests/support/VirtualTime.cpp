#include "support/VirtualTime.h"

#include <cstddef>

namespace trevalo::testing {

namespace {

// Far more timers at one instant than any test schedules: beyond it the loop is stuck.
constexpr std::size_t kMaximumFiringsWithoutProgress = 10000;

}  // namespace

::testing::AssertionResult runUntilWithin(platform::VirtualTimeRunLoop& loop, double seconds,
                                          const std::function<bool()>& done,
                                          std::string_view expected) {
  auto& clock = loop.virtualClock();
  const Date start = clock.now();
  const Date deadline = start.dateByAddingTimeInterval(seconds);
  const auto elapsed = [&] { return clock.now().timeIntervalSinceDate(start); };
  loop.runUntilIdle();
  std::size_t withoutProgress = 0;
  while (!done()) {
    const auto next = loop.nextTimerFireDate();
    if (!next || *next > deadline) {
      loop.advanceTo(deadline);
      if (done()) break;
      return ::testing::AssertionFailure()
             << "expected " << expected << " within " << seconds
             << " s of virtual time, and it had not happened by then ("
             << (next ? "the next timer was due later" : "no timer was left") << ")";
    }
    const Date before = clock.now();
    loop.advanceToNextTimer();
    withoutProgress = clock.now() > before ? 0 : withoutProgress + 1;
    if (withoutProgress > kMaximumFiringsWithoutProgress) {
      return ::testing::AssertionFailure() << "expected " << expected << " within " << seconds
                                           << " s of virtual time, but the run loop stalled at +"
                                           << elapsed() << " s: a timer due then keeps being due";
    }
  }
  return ::testing::AssertionSuccess() << expected << " after " << elapsed() << " s";
}

}  // namespace trevalo::testing
