#include "trevalo/platform/simulated/SimulatedReachabilitySource.h"

#include <utility>

namespace trevalo::platform {

SimulatedReachabilitySource::SimulatedReachabilitySource(std::optional<Flags> defaultFlags)
    : defaultFlags_(defaultFlags) {}

std::optional<ReachabilitySource::Flags> SimulatedReachabilitySource::flagsForTarget(
    const ReachabilityTarget& target) const {
  const std::lock_guard lock(mutex_);
  const auto it = flags_.find(target);
  return it == flags_.end() ? defaultFlags_ : it->second;
}

std::optional<NotificationCenter::Observation> SimulatedReachabilitySource::observeChanges(
    ChangeHandler handler) {
  {
    const std::lock_guard lock(mutex_);
    if (!canObserve_ || !handler) return std::nullopt;
  }
  return changes_.addObserver(kChanged,
                              [handler = std::move(handler)](const Notification&) { handler(); });
}

void SimulatedReachabilitySource::setDefaultFlags(std::optional<Flags> flags) {
  {
    const std::lock_guard lock(mutex_);
    defaultFlags_ = flags;
  }
  signalChange();
}

void SimulatedReachabilitySource::setFlagsForTarget(const ReachabilityTarget& target,
                                                    std::optional<Flags> flags) {
  {
    const std::lock_guard lock(mutex_);
    flags_.insert_or_assign(target, flags);
  }
  signalChange();
}

void SimulatedReachabilitySource::clearFlagsForTarget(const ReachabilityTarget& target) {
  {
    const std::lock_guard lock(mutex_);
    flags_.erase(target);
  }
  signalChange();
}

void SimulatedReachabilitySource::signalChange() {
  changes_.postNotificationName(kChanged);
}

void SimulatedReachabilitySource::setCanObserveChanges(bool canObserve) {
  const std::lock_guard lock(mutex_);
  canObserve_ = canObserve;
}

}  // namespace trevalo::platform
