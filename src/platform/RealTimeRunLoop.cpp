#include "trevalo/platform/RealTimeRunLoop.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace trevalo::platform {

namespace {
// Upper bound of one wait, so that a timer scheduled for "never" does not overflow the wait.
constexpr double kLongestWaitSeconds = 3600.0;
}  // namespace

RealTimeRunLoop::RealTimeRunLoop(std::shared_ptr<const Clock> clock) : RunLoop(std::move(clock)) {}

RealTimeRunLoop::~RealTimeRunLoop() {
  stopThread();
}

void RealTimeRunLoop::stopThread() {
  if (thread_.joinable()) {
    stop();
    thread_.join();
  }
}

void RealTimeRunLoop::run() {
  loop(std::nullopt);
}

void RealTimeRunLoop::runFor(double seconds) {
  loop(clock().systemUptime() + seconds);
}

void RealTimeRunLoop::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
}

void RealTimeRunLoop::startThread() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { loop(std::nullopt); });
  // Hand the loop over before returning, so that from now on only that thread is current.
  adoptThread(thread_.get_id());
}

void RealTimeRunLoop::loop(std::optional<double> deadlineUptime) {
  adoptCurrentThread();
  for (;;) {
    runPostedTasks();
    double now = clock().systemUptime();
    while (fireNextTimerDueBy(now, now)) {
      runPostedTasks();
      now = clock().systemUptime();
    }
    if (deadlineUptime && now >= *deadlineUptime) return;

    std::unique_lock lock(mutex_);
    if (stopRequested_) {
      stopRequested_ = false;
      return;
    }
    if (woken_) {
      woken_ = false;
      continue;
    }
    double wakeAt = std::numeric_limits<double>::infinity();
    if (const auto next = nextFireUptime()) wakeAt = *next;
    if (deadlineUptime) wakeAt = std::min(wakeAt, *deadlineUptime);
    const double wait =
        std::min((wakeAt - clock().systemUptime()) / clock().rate(), kLongestWaitSeconds);
    if (wait > 0) {
      wake_.wait_for(
          lock,
          std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(wait)),
          [this] { return woken_ || stopRequested_; });
    }
    woken_ = false;
  }
}

void RealTimeRunLoop::workArrived() {
  {
    const std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

}  // namespace trevalo::platform
