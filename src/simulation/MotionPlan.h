#pragma once

#include <vector>

#include "platform/SpeedActivityClassifier.h"
#include "simulation/Trace.h"
#include "trevalo/platform/simulated/MotionScript.h"

namespace trevalo::simulation {

// How a device without recorded motion samples is taken to move: lying still, carried by
// someone walking, or riding in a car.
enum class MotionPattern { kStill, kWalking, kDriving };

const char* motionPatternName(MotionPattern pattern) noexcept;

// The accelerometer pattern to play while a trace has no samples of its own, chosen from the
// speed of its fixes: still below kWalkingSpeed, walking below kDrivingSpeed, driving above.
// A fix's speed is its own when valid, else the distance covered over the last
// kSpeedWindow seconds. Runs shorter than kShortestRun seconds join the run before them, so
// GPS jitter indoors does not make a phone on a table walk.
class MotionPlan {
 public:
  // The live classifier's bounds, so that a replay moves as the device would have reported.
  static constexpr double kWalkingSpeed = platform::SpeedActivityClassifier::kWalkingSpeed;
  static constexpr double kDrivingSpeed = platform::SpeedActivityClassifier::kDrivingSpeed;
  static constexpr double kSpeedWindow = 10.0;  // s
  static constexpr double kShortestRun = 30.0;  // s

  struct Segment {
    Date start;
    Date end;
    MotionPattern pattern = MotionPattern::kStill;

    bool operator==(const Segment&) const = default;
  };

  // Segments covering the fixes' time from the first to the last, in order, neighbours
  // always of different patterns. Empty for fewer than two fixes.
  static std::vector<Segment> plan(const std::vector<Location>& fixes);

  // The simulated platform's script for `seconds` of `pattern`. A car shakes the phone at a
  // road-vibration rate far below the bounce of steps.
  static platform::MotionScript script(MotionPattern pattern, double seconds);
};

}  // namespace trevalo::simulation
