#include "trevalo/platform/simulated/VirtualTimeRunLoop.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

struct VirtualTimeRunLoop::Signal {
  std::mutex mutex;
  std::condition_variable arrived;
  std::uint64_t generation = 0;
};

VirtualTimeRunLoop::VirtualTimeRunLoop(std::shared_ptr<VirtualClock> clock)
    : RunLoop(clock), clock_(std::move(clock)), signal_(std::make_shared<Signal>()) {}

void VirtualTimeRunLoop::advanceBy(double seconds) {
  advanceTo(clock_->now().dateByAddingTimeInterval(seconds));
}

void VirtualTimeRunLoop::advanceTo(Date date) {
  advance(date, true);
}

void VirtualTimeRunLoop::advanceToJustBefore(Date date) {
  advance(date, false);
}

void VirtualTimeRunLoop::advance(Date date, bool includingTimersDueThen) {
  adoptCurrentThread();
  if (date < clock_->now()) clock_->advanceTo(date);  // raises: time does not go backwards
  const double target = clock_->systemUptime() + date.timeIntervalSinceDate(clock_->now());
  for (;;) {
    runPostedTasks();
    const auto next = nextFireUptime();
    if (!next || *next > target || (!includingTimersDueThen && *next == target)) break;
    // A timer that is due and will not fire would have this loop spin for ever; a timer taken
    // away meanwhile by another thread leaves another one (or none) next.
    if (!fireAt(*next) && nextFireUptime() == next) {
      throw Exception(
          Exception::kInternalInconsistency,
          "the virtual run loop cannot fire the timer due at uptime " + std::to_string(*next));
    }
  }
  if (date > clock_->now()) clock_->advanceTo(date);
}

std::optional<Date> VirtualTimeRunLoop::nextTimerFireDate() const {
  const auto next = nextFireUptime();
  if (!next) return std::nullopt;
  return clock_->now().dateByAddingTimeInterval(*next - clock_->systemUptime());
}

bool VirtualTimeRunLoop::fireAt(double uptime) {
  if (uptime > clock_->systemUptime()) clock_->advanceToUptime(uptime);
  // The due time itself is the deadline: the clock's own reading may round a hair below it.
  return fireNextTimerDueBy(uptime, clock_->systemUptime());
}

void VirtualTimeRunLoop::runUntilIdle() {
  adoptCurrentThread();
  for (;;) {
    runPostedTasks();
    const double now = clock_->systemUptime();
    if (!fireNextTimerDueBy(now, now)) break;
  }
}

bool VirtualTimeRunLoop::advanceToNextTimer() {
  adoptCurrentThread();
  runPostedTasks();
  const auto next = nextFireUptime();
  if (!next) return false;
  fireAt(*next);
  runPostedTasks();
  return true;
}

bool VirtualTimeRunLoop::runUntil(const std::function<bool()>& done,
                                  std::chrono::milliseconds realTimeout) {
  adoptCurrentThread();
  const auto deadline = std::chrono::steady_clock::now() + realTimeout;
  for (;;) {
    std::uint64_t seen;
    {
      const std::lock_guard lock(signal_->mutex);
      seen = signal_->generation;
    }
    runUntilIdle();
    if (done()) return true;
    std::unique_lock lock(signal_->mutex);
    const bool arrived =
        signal_->arrived.wait_until(lock, deadline, [&] { return signal_->generation != seen; });
    if (!arrived) {
      lock.unlock();
      runUntilIdle();
      return done();
    }
  }
}

void VirtualTimeRunLoop::workArrived() {
  {
    const std::lock_guard lock(signal_->mutex);
    ++signal_->generation;
  }
  signal_->arrived.notify_all();
}

}  // namespace trevalo::platform
