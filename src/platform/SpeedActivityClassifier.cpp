#include "platform/SpeedActivityClassifier.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace trevalo::platform {

MotionActivity SpeedActivityClassifier::activityAt(double speed) noexcept {
  MotionActivity activity;
  if (speed < kWalkingSpeed) {
    activity.stationary = true;
  } else if (speed < kDrivingSpeed) {
    activity.walking = true;
  } else {
    activity.automotive = true;
  }
  return activity;
}

std::optional<double> SpeedActivityClassifier::speedOf(const Location& fix) const {
  if (fix.speed() >= 0.0) return fix.speed();
  if (!previous_) return std::nullopt;
  const double seconds = fix.timestamp().timeIntervalSinceDate(previous_->timestamp());
  if (!(seconds > 0.0) || seconds > kWindow) return std::nullopt;
  const double unexplained = fix.distanceFromLocation(*previous_) - fix.horizontalAccuracy() -
                             previous_->horizontalAccuracy();
  return std::max(unexplained, 0.0) / seconds;
}

std::optional<MotionActivity> SpeedActivityClassifier::observe(const Location& fix) {
  if (!fix.coordinate().isValid() || !(fix.horizontalAccuracy() >= 0.0)) return std::nullopt;
  const double time = fix.timestamp().timeIntervalSince1970();
  if (previous_ && time < previous_->timestamp().timeIntervalSince1970()) {
    window_.clear();
    previous_.reset();
  }
  if (const auto speed = speedOf(fix)) window_.push_back({time, *speed});
  previous_ = fix;
  while (!window_.empty() && window_.front().time <= time - kWindow)
    window_.pop_front();
  if (window_.size() < kFewestFixes) return std::nullopt;

  speeds_.clear();
  for (const auto& sample : window_)
    speeds_.push_back(sample.speed);
  const auto middle = speeds_.begin() + static_cast<std::ptrdiff_t>(speeds_.size() / 2);
  std::nth_element(speeds_.begin(), middle, speeds_.end());
  return activityAt(*middle);
}

}  // namespace trevalo::platform
