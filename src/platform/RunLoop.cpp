#include "trevalo/platform/RunLoop.h"

#include <algorithm>

#include "platform/RunLoopCore.h"

namespace trevalo::platform {

namespace {
constexpr double kMinimumTimerInterval = 0.0001;
}  // namespace

void RunLoopCore::remove(const Timer& timer) {
  const std::lock_guard lock(mutex);
  const auto it = timers.find({timer.fireUptime_, timer.sequence_});
  if (it != timers.end() && it->second.get() == &timer) timers.erase(it);
}

RunLoop::RunLoop(std::shared_ptr<const Clock> clock)
    : clock_(std::move(clock)), core_(std::make_shared<RunLoopCore>()) {}

RunLoop::~RunLoop() {
  // Invalidate what is still scheduled so that the actions (and what they captured) are
  // released now rather than when the last outside reference to a timer goes away.
  std::map<RunLoopCore::TimerKey, std::shared_ptr<Timer>> timers;
  {
    const std::lock_guard lock(core_->mutex);
    timers.swap(core_->timers);
  }
  for (auto& [key, timer] : timers)
    timer->invalidate();
}

void RunLoop::post(Task task) {
  {
    const std::lock_guard lock(core_->mutex);
    core_->tasks.push_back(std::move(task));
  }
  workArrived();
}

std::shared_ptr<Timer> RunLoop::scheduleTimer(double seconds, bool repeats, Task action) {
  const double interval = std::max(seconds, kMinimumTimerInterval);
  auto timer = std::make_shared<Timer>(interval, repeats, std::move(action));
  {
    const std::lock_guard timerLock(timer->mutex_);
    timer->clock_ = clock_;
    timer->loopCore_ = core_;
    const std::lock_guard lock(core_->mutex);
    timer->fireUptime_ = clock_->systemUptime() + interval;
    timer->sequence_ = core_->nextSequence++;
    core_->timers.emplace(RunLoopCore::TimerKey{timer->fireUptime_, timer->sequence_}, timer);
  }
  workArrived();
  return timer;
}

bool RunLoop::isCurrent() const noexcept {
  return core_->owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

std::size_t RunLoop::pendingTaskCount() const {
  const std::lock_guard lock(core_->mutex);
  return core_->tasks.size();
}

std::size_t RunLoop::scheduledTimerCount() const {
  const std::lock_guard lock(core_->mutex);
  return core_->timers.size();
}

bool RunLoop::runPostedTasks() {
  bool ranAny = false;
  for (;;) {
    Task task;
    {
      const std::lock_guard lock(core_->mutex);
      if (core_->tasks.empty()) return ranAny;
      task = std::move(core_->tasks.front());
      core_->tasks.pop_front();
    }
    ranAny = true;
    if (task) task();
  }
}

std::optional<double> RunLoop::nextFireUptime() const {
  const std::lock_guard lock(core_->mutex);
  if (core_->timers.empty()) return std::nullopt;
  return core_->timers.begin()->first.first;
}

bool RunLoop::fireNextTimerDueBy(double deadlineUptime, double nowUptime) {
  std::shared_ptr<Timer> timer;
  {
    const std::lock_guard lock(core_->mutex);
    if (core_->timers.empty()) return false;
    auto first = core_->timers.begin();
    if (first->first.first > deadlineUptime) return false;
    timer = std::move(first->second);
    core_->timers.erase(first);
  }

  std::shared_ptr<const Task> action;
  {
    const std::lock_guard timerLock(timer->mutex_);
    action = timer->action_;
    if (timer->repeats_ && timer->isValid()) {
      double next = timer->fireUptime_ + timer->interval_;
      if (next <= nowUptime) next = nowUptime + timer->interval_;
      const std::lock_guard lock(core_->mutex);
      timer->fireUptime_ = next;
      timer->sequence_ = core_->nextSequence++;
      core_->timers.emplace(RunLoopCore::TimerKey{next, timer->sequence_}, timer);
    }
  }
  if (!timer->repeats_) timer->valid_.store(false, std::memory_order_release);
  if (action && *action) (*action)();
  if (!timer->repeats_) {
    // A fired one-shot timer lets go of its action like an invalidated one.
    const std::lock_guard timerLock(timer->mutex_);
    timer->action_.reset();
  }
  return true;
}

void RunLoop::adoptCurrentThread() noexcept {
  adoptThread(std::this_thread::get_id());
}

void RunLoop::adoptThread(std::thread::id thread) noexcept {
  core_->owner.store(thread, std::memory_order_relaxed);
}

}  // namespace trevalo::platform
