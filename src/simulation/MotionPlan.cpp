#include "simulation/MotionPlan.h"

#include <cstddef>

namespace trevalo::simulation {

namespace {

MotionPattern patternAt(double speed) {
  if (speed < MotionPlan::kWalkingSpeed) return MotionPattern::kStill;
  if (speed < MotionPlan::kDrivingSpeed) return MotionPattern::kWalking;
  return MotionPattern::kDriving;
}

// The speed at fix `i`: its own, or the distance covered since the earliest fix of the last
// kSpeedWindow seconds (the fix before it when there is none, as after a signal loss).
double speedAt(const std::vector<Location>& fixes, std::size_t i, std::size_t& windowStart) {
  const Location& fix = fixes[i];
  while (windowStart + 1 < i && fix.timestamp().timeIntervalSinceDate(
                                    fixes[windowStart].timestamp()) > MotionPlan::kSpeedWindow) {
    ++windowStart;
  }
  if (fix.speed() >= 0.0) return fix.speed();
  const Location& from = fixes[windowStart];
  const double seconds = fix.timestamp().timeIntervalSinceDate(from.timestamp());
  if (seconds <= 0.0) return 0.0;
  return fix.distanceFromLocation(from) / seconds;
}

// Joins neighbours of one pattern.
void merge(std::vector<MotionPlan::Segment>& segments) {
  std::vector<MotionPlan::Segment> merged;
  for (const auto& segment : segments) {
    if (!merged.empty() && merged.back().pattern == segment.pattern) {
      merged.back().end = segment.end;
    } else {
      merged.push_back(segment);
    }
  }
  segments = std::move(merged);
}

}  // namespace

const char* motionPatternName(MotionPattern pattern) noexcept {
  switch (pattern) {
    case MotionPattern::kStill:
      return "still";
    case MotionPattern::kWalking:
      return "walking";
    case MotionPattern::kDriving:
      return "driving";
  }
  return "unknown";
}

std::vector<MotionPlan::Segment> MotionPlan::plan(const std::vector<Location>& fixes) {
  std::vector<Segment> segments;
  if (fixes.size() < 2) return segments;
  std::size_t windowStart = 0;
  // The interval up to each fix moves as that fix says.
  for (std::size_t i = 1; i < fixes.size(); ++i) {
    const Segment segment{fixes[i - 1].timestamp(), fixes[i].timestamp(),
                          patternAt(speedAt(fixes, i, windowStart))};
    if (!segments.empty() && segments.back().pattern == segment.pattern) {
      segments.back().end = segment.end;
    } else {
      segments.push_back(segment);
    }
  }
  // Short runs join the run before them (a short first run, the one after it).
  std::vector<Segment> kept;
  for (const Segment& segment : segments) {
    const bool isShort = segment.end.timeIntervalSinceDate(segment.start) < kShortestRun;
    if (!kept.empty() && (isShort || kept.back().pattern == segment.pattern)) {
      kept.back().end = segment.end;
    } else {
      kept.push_back(segment);
    }
  }
  if (kept.size() > 1 && kept[0].end.timeIntervalSinceDate(kept[0].start) < kShortestRun) {
    kept[1].start = kept[0].start;
    kept.erase(kept.begin());
  }
  segments = std::move(kept);
  merge(segments);
  return segments;
}

platform::MotionScript MotionPlan::script(MotionPattern pattern, double seconds) {
  switch (pattern) {
    case MotionPattern::kWalking:
      return platform::MotionScript::walking(seconds);
    case MotionPattern::kDriving:
      // Road and engine vibration: fast and small, under the step analysis's thresholds.
      return platform::MotionScript::walking(seconds, 9.0, 0.04);
    case MotionPattern::kStill:
      break;
  }
  return platform::MotionScript::still(seconds);
}

}  // namespace trevalo::simulation
