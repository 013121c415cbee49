#include "trevalo/platform/simulated/MotionActivityScript.h"

namespace trevalo::platform {

MotionActivityScript MotionActivityScript::activity(double seconds, MotionActivity activity) {
  MotionActivityScript script;
  script.timeline_.append(seconds);
  script.activities_.push_back(activity);
  return script;
}

MotionActivityScript MotionActivityScript::then(const MotionActivityScript& next) const {
  MotionActivityScript joined = *this;
  joined.activities_.insert(joined.activities_.end(), next.activities_.begin(),
                            next.activities_.end());
  joined.timeline_.append(next.timeline_);
  return joined;
}

std::optional<MotionActivity> MotionActivityScript::activityAt(double seconds) const {
  const auto position = timeline_.locate(seconds);
  if (!position) return std::nullopt;
  return activities_[position->index];
}

}  // namespace trevalo::platform
