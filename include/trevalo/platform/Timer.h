#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "trevalo/platform/Clock.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Task.h"

namespace trevalo::platform {

class RunLoop;
struct RunLoopCore;

// A timer scheduled on a run loop (`RunLoop::scheduleTimer`). A one-shot timer is invalid once
// it has fired; a repeating one stays valid until invalidated. `invalidate` is safe from any
// thread and from inside the timer's own action, and drops the action at once, so anything the
// action captured is released.
class Timer {
 public:
  Timer(double interval, bool repeats, Task action);
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  bool isValid() const noexcept { return valid_.load(std::memory_order_acquire); }
  void invalidate();

  double timeInterval() const noexcept { return interval_; }
  bool repeats() const noexcept { return repeats_; }
  // When the timer fires next, on the clock of its run loop.
  Date fireDate() const;

 private:
  friend class RunLoop;
  friend struct RunLoopCore;

  const double interval_;
  const bool repeats_;
  std::atomic<bool> valid_{true};

  mutable std::mutex mutex_;
  std::shared_ptr<const Task> action_;
  // Timers run on the monotonic uptime of the loop's clock, so wall-clock jumps do not move them.
  double fireUptime_ = 0.0;
  std::uint64_t sequence_ = 0;
  std::shared_ptr<const Clock> clock_;
  std::weak_ptr<RunLoopCore> loopCore_;  // the scheduling loop, to unschedule on invalidation
};

}  // namespace trevalo::platform
