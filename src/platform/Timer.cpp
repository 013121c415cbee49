#include "trevalo/platform/Timer.h"

#include "platform/RunLoopCore.h"

namespace trevalo::platform {

Timer::Timer(double interval, bool repeats, Task action)
    : interval_(interval),
      repeats_(repeats),
      action_(std::make_shared<const Task>(std::move(action))) {}

void Timer::invalidate() {
  if (!valid_.exchange(false, std::memory_order_acq_rel)) return;
  std::shared_ptr<const Task> released;
  std::shared_ptr<RunLoopCore> core;
  {
    const std::lock_guard lock(mutex_);
    released = std::move(action_);
    core = loopCore_.lock();
  }
  if (core) core->remove(*this);
  // `released` goes out of scope here, outside every lock; if the timer is invalidated from
  // inside its own action, the firing loop still holds its own reference to the action.
}

Date Timer::fireDate() const {
  const std::lock_guard lock(mutex_);
  if (!clock_) return Date();
  return clock_->now().dateByAddingTimeInterval(fireUptime_ - clock_->systemUptime());
}

}  // namespace trevalo::platform
