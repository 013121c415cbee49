#include "trevalo/platform/simulated/SimulatedMotionActivityManager.h"

#include <cmath>
#include <optional>
#include <utility>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

SimulatedMotionActivityManager::SimulatedMotionActivityManager(std::shared_ptr<RunLoop> runLoop,
                                                               bool available)
    : runLoop_(std::move(runLoop)), available_(available) {
  if (!runLoop_) throw Exception(Exception::kInvalidArgument, "a run loop is needed");
  originUptime_ = runLoop_->clock().systemUptime();
}

void SimulatedMotionActivityManager::play(MotionActivityScript script) {
  play(std::move(script), runLoop_->clock().systemUptime());
}

void SimulatedMotionActivityManager::play(MotionActivityScript script, double originUptime) {
  if (!std::isfinite(originUptime)) {
    throw Exception(Exception::kInvalidArgument, "a script needs a finite start");
  }
  {
    const std::lock_guard lock(mutex_);
    script_ = std::move(script);
    originUptime_ = originUptime;
  }
  if (stream_.isActive()) reportFrom(runLoop_->clock().systemUptime() - originUptime);
}

bool SimulatedMotionActivityManager::isActivityAvailable() const {
  const std::lock_guard lock(mutex_);
  return available_;
}

void SimulatedMotionActivityManager::setActivityAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  available_ = available;
}

void SimulatedMotionActivityManager::startActivityUpdatesToQueue(
    std::shared_ptr<OperationQueue> queue, ActivityHandler handler) {
  if (!isActivityAvailable()) return;
  stream_.start(std::move(queue), std::move(handler));
  double origin;
  {
    const std::lock_guard lock(mutex_);
    origin = originUptime_;
  }
  reportFrom(runLoop_->clock().systemUptime() - origin);
}

void SimulatedMotionActivityManager::stopActivityUpdates() {
  {
    const std::lock_guard lock(mutex_);
    ++playback_;
  }
  stream_.stop();
}

bool SimulatedMotionActivityManager::deliverActivity(const MotionActivity& activity) const {
  return stream_.deliver(activity);
}

void SimulatedMotionActivityManager::reportFrom(double seconds) {
  std::optional<MotionActivity> activity;
  std::optional<double> nextStart;
  std::uint64_t playback;
  {
    const std::lock_guard lock(mutex_);
    playback = ++playback_;
    const ScriptTimeline& timeline = script_.timeline();
    if (const auto position = timeline.locate(seconds)) {
      activity = script_.activityOfSegment(position->index);
      nextStart = timeline.endOf(position->index);
    } else if (seconds < 0.0) {
      nextStart = 0.0;  // the script has not begun yet
    }
  }
  if (activity) stream_.deliver(*activity);
  if (!nextStart || !std::isfinite(*nextStart)) {
    stream_.setTimer(nullptr);
    return;
  }
  // The next report is asked for at its script time, not at the clock's reading when the timer
  // fires, so that rounding never reports one segment twice or skips one.
  const double next = *nextStart;
  stream_.setTimer(
      runLoop_->scheduleTimer(next - seconds, false, [weak = weak_from_this(), playback, next] {
        const auto self = weak.lock();
        if (!self) return;
        {
          const std::lock_guard lock(self->mutex_);
          if (self->playback_ != playback) return;
        }
        self->reportFrom(next);
      }));
}

}  // namespace trevalo::platform
