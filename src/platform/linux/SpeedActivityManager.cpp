#include "platform/linux/SpeedActivityManager.h"

#include <utility>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

bool SpeedActivityManager::isActivityAvailable() const {
  const std::lock_guard lock(mutex_);
  return available_;
}

void SpeedActivityManager::setAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  available_ = available;
}

void SpeedActivityManager::startActivityUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                       ActivityHandler handler) {
  if (!queue || !handler) {
    throw Exception(Exception::kInvalidArgument, "activity updates need a queue and a handler");
  }
  const std::lock_guard lock(mutex_);
  if (!available_) return;
  stream_.start(std::move(queue), std::move(handler));
  // A new listener hears the verdict with the next fix, whatever was said before.
  reported_.reset();
}

void SpeedActivityManager::stopActivityUpdates() {
  stream_.stop();
}

void SpeedActivityManager::observe(const std::vector<Location>& fixes) {
  std::vector<MotionActivity> reports;
  {
    const std::lock_guard lock(mutex_);
    for (const auto& fix : fixes) {
      const auto verdict = classifier_.observe(fix);
      if (!verdict) continue;
      const double time = fix.timestamp().timeIntervalSince1970();
      if (reported_ == verdict && time - reportedAt_ < kRepeatInterval && time >= reportedAt_) {
        continue;
      }
      reported_ = verdict;
      reportedAt_ = time;
      reports.push_back(*verdict);
    }
  }
  for (const auto& report : reports)
    stream_.deliver(report);
}

}  // namespace trevalo::platform
