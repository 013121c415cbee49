#pragma once

#include <optional>
#include <vector>

#include "trevalo/platform/MotionActivity.h"
#include "trevalo/platform/simulated/ScriptTimeline.h"

namespace trevalo::platform {

// What a simulated activity classifier concludes over time: one activity per segment, as a
// plain value (`MotionActivityScript::activity(30, still).then(...)`). Each segment is one
// update of the classifier, reported when the segment begins, even when it repeats the
// activity before it.
class MotionActivityScript {
 public:
  static MotionActivityScript activity(double seconds, MotionActivity activity);

  MotionActivityScript then(const MotionActivityScript& next) const;

  double duration() const noexcept { return timeline_.duration(); }
  bool empty() const noexcept { return activities_.empty(); }
  const ScriptTimeline& timeline() const noexcept { return timeline_; }
  const MotionActivity& activityOfSegment(std::size_t index) const { return activities_.at(index); }

  // The activity `seconds` after the script began; nothing outside the script.
  std::optional<MotionActivity> activityAt(double seconds) const;

 private:
  std::vector<MotionActivity> activities_;
  ScriptTimeline timeline_;
};

}  // namespace trevalo::platform
