#pragma once

#include <deque>
#include <optional>
#include <vector>

#include "trevalo/platform/Location.h"
#include "trevalo/platform/MotionActivity.h"

namespace trevalo::platform {

// How a device moves, told from the speed of its fixes alone, for a machine whose only motion
// sense is its receiver: still below kWalkingSpeed, on foot below kDrivingSpeed, in a vehicle
// above. A verdict reads the median speed of the fixes of the last kWindow seconds (by the
// fixes' own timestamps), so one jumpy fix does not turn a parked receiver into a walker.
//
// A fix's speed is the one it reports; without one, the distance from the fix before it that
// the two accuracies cannot explain, over the time between them: a receiver indoors whose
// fixes wander within their error circles stays still.
class SpeedActivityClassifier {
 public:
  static constexpr double kWalkingSpeed = 0.6;  // m/s
  static constexpr double kDrivingSpeed = 3.5;  // m/s
  static constexpr double kWindow = 10.0;       // seconds
  // Fewer fixes in the window tell nothing yet.
  static constexpr std::size_t kFewestFixes = 3;

  // The activity of a speed, in m/s.
  static MotionActivity activityAt(double speed) noexcept;

  // Takes the next fix and returns the verdict, or nothing while the window holds too few
  // fixes to tell. A fix without a position or accuracy is ignored; one older than the fix
  // before it starts the window afresh (the source began again).
  std::optional<MotionActivity> observe(const Location& fix);

 private:
  struct Sample {
    double time;   // seconds since 1970
    double speed;  // m/s
  };

  std::optional<double> speedOf(const Location& fix) const;

  std::deque<Sample> window_;
  std::optional<Location> previous_;
  std::vector<double> speeds_;  // the window's speeds, reordered to find the median
};

}  // namespace trevalo::platform
