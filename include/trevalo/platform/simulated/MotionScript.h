#pragma once

#include <optional>
#include <vector>

#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/GyroData.h"
#include "trevalo/platform/simulated/ScriptTimeline.h"

namespace trevalo::platform {

// How a simulated device moves, as what its accelerometer and gyroscope read over time:
// segments such as lying still, walking, being turned over or falling, one after the other.
// A plain value: `MotionScript::still(10).then(MotionScript::walking(30))`.
//
// Every reading carries a little deterministic sensor noise (at most kSensorNoise on each
// axis), the same for the same moment of the same script.
class MotionScript {
 public:
  struct Reading {
    Acceleration acceleration;  // g, gravity included
    RotationRate rotationRate;  // radians per second
  };

  // A phone lying on its back on a table: gravity pulls along -z.
  static constexpr Acceleration kFaceUp{0.0, 0.0, -1.0};
  static constexpr double kSensorNoise = 0.003;

  // Lying still with `gravity` as the reading at rest.
  static MotionScript still(double seconds, Acceleration gravity = kFaceUp);
  // Carried upright in a trouser pocket (gravity along -y) by someone walking: a vertical
  // bounce of `bounce` g at the step rate, a weaker forward surge at the step rate and a
  // sideways sway at half of it, with the matching small rotations.
  static MotionScript walking(double seconds, double stepsPerSecond = 1.9, double bounce = 0.25);
  // Turned about the x axis at an even rate, from resting with `from` to resting with -`from`.
  static MotionScript turnedOver(double seconds, Acceleration from = kFaceUp);
  // Falling freely: no acceleration at all, apart from the noise.
  static MotionScript freeFall(double seconds);

  // This script, then `next`.
  MotionScript then(const MotionScript& next) const;

  double duration() const noexcept { return timeline_.duration(); }
  bool empty() const noexcept { return segments_.empty(); }

  // What the sensors read `seconds` after the script began; nothing outside the script.
  std::optional<Reading> readingAt(double seconds) const;

 private:
  enum class Kind { kStill, kWalking, kTurnedOver, kFreeFall };
  struct Segment {
    Kind kind = Kind::kStill;
    double duration = 0.0;
    Acceleration gravity;         // still: at rest; turned over: at the start
    double stepsPerSecond = 0.0;  // walking
    double bounce = 0.0;          // walking, g
  };

  static MotionScript single(Segment segment);

  std::vector<Segment> segments_;
  ScriptTimeline timeline_;
};

}  // namespace trevalo::platform
