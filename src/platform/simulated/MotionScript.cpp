#include "trevalo/platform/simulated/MotionScript.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A value in [-1, 1) that looks random but depends only on the moment and the axis, so that a
// script reads the same every time it is played.
double noise(double seconds, std::uint64_t axis) {
  std::uint64_t z = std::bit_cast<std::uint64_t>(seconds) + 0x9E3779B97F4A7C15ULL * (axis + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
}

MotionScript::Reading withNoise(MotionScript::Reading reading, double seconds) {
  constexpr double a = MotionScript::kSensorNoise;
  reading.acceleration.x += a * noise(seconds, 0);
  reading.acceleration.y += a * noise(seconds, 1);
  reading.acceleration.z += a * noise(seconds, 2);
  reading.rotationRate.x += a * noise(seconds, 3);
  reading.rotationRate.y += a * noise(seconds, 4);
  reading.rotationRate.z += a * noise(seconds, 5);
  return reading;
}

void requireFinite(double value, const char* what) {
  if (!std::isfinite(value)) throw Exception(Exception::kInvalidArgument, what);
}

}  // namespace

MotionScript MotionScript::single(Segment segment) {
  MotionScript script;
  script.timeline_.append(segment.duration);
  script.segments_.push_back(segment);
  return script;
}

MotionScript MotionScript::still(double seconds, Acceleration gravity) {
  requireFinite(gravity.x + gravity.y + gravity.z, "the reading at rest must be finite");
  return single({.kind = Kind::kStill, .duration = seconds, .gravity = gravity});
}

MotionScript MotionScript::walking(double seconds, double stepsPerSecond, double bounce) {
  if (!std::isfinite(stepsPerSecond) || stepsPerSecond <= 0.0) {
    throw Exception(Exception::kInvalidArgument, "walking needs a positive step rate");
  }
  requireFinite(bounce, "the bounce of a walk must be finite");
  return single({.kind = Kind::kWalking,
                 .duration = seconds,
                 .gravity = {},
                 .stepsPerSecond = stepsPerSecond,
                 .bounce = bounce});
}

MotionScript MotionScript::turnedOver(double seconds, Acceleration from) {
  requireFinite(from.x + from.y + from.z, "the reading at rest must be finite");
  return single({.kind = Kind::kTurnedOver, .duration = seconds, .gravity = from});
}

MotionScript MotionScript::freeFall(double seconds) {
  return single({.kind = Kind::kFreeFall, .duration = seconds, .gravity = {}});
}

MotionScript MotionScript::then(const MotionScript& next) const {
  MotionScript joined = *this;
  joined.segments_.insert(joined.segments_.end(), next.segments_.begin(), next.segments_.end());
  joined.timeline_.append(next.timeline_);
  return joined;
}

std::optional<MotionScript::Reading> MotionScript::readingAt(double seconds) const {
  const auto position = timeline_.locate(seconds);
  if (!position) return std::nullopt;
  const Segment& segment = segments_[position->index];
  const double t = position->offset;

  Reading reading;
  switch (segment.kind) {
    case Kind::kStill:
      reading.acceleration = segment.gravity;
      break;
    case Kind::kWalking: {
      // Each step lifts and drops the hips once, and rocks them forward once; the sway to the
      // sides repeats every second step.
      const double step = kTwoPi * segment.stepsPerSecond * t;
      const double b = segment.bounce;
      reading.acceleration = {0.3 * b * std::sin(step / 2.0), -1.0 + b * std::sin(step),
                              0.4 * b * std::sin(step + std::numbers::pi / 2.0)};
      reading.rotationRate = {0.4 * std::sin(step), 0.2 * std::sin(step / 2.0),
                              0.1 * std::sin(step + 1.0)};
      break;
    }
    case Kind::kTurnedOver: {
      const double rate = segment.duration > 0.0 ? std::numbers::pi / segment.duration : 0.0;
      const double angle = rate * t;
      const Acceleration& g = segment.gravity;
      reading.acceleration = {g.x, g.y * std::cos(angle) - g.z * std::sin(angle),
                              g.y * std::sin(angle) + g.z * std::cos(angle)};
      reading.rotationRate = {rate, 0.0, 0.0};
      break;
    }
    case Kind::kFreeFall:
      break;
  }
  return withNoise(reading, seconds);
}

}  // namespace trevalo::platform
