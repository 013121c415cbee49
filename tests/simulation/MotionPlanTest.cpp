// Choosing the synthesized motion from a trace's speed.
#include "simulation/MotionPlan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace trevalo::simulation {
namespace {

Location fixAt(double seconds, double metersNorth, double speed = -1.0) {
  return Location({48.85 + metersNorth / 111195.0, 2.35}, 0.0, 5.0, -1.0, -1.0, speed,
                  Date(1000.0 + seconds));
}

TEST(MotionPlanTest, SpeedThresholdsChooseThePattern) {
  const std::pair<double, MotionPattern> cases[] = {
      {0.0, MotionPattern::kStill},   {0.59, MotionPattern::kStill},
      {0.6, MotionPattern::kWalking}, {3.49, MotionPattern::kWalking},
      {3.5, MotionPattern::kDriving}, {30.0, MotionPattern::kDriving}};
  for (const auto& [speed, pattern] : cases) {
    SCOPED_TRACE(speed);
    std::vector<Location> fixes;
    for (int t = 0; t <= 60; ++t)
      fixes.push_back(fixAt(t, speed * t, speed));
    const auto plan = MotionPlan::plan(fixes);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0], (MotionPlan::Segment{Date(1000.0), Date(1060.0), pattern}));
  }
}

TEST(MotionPlanTest, ShortRunsJoinTheRunBeforeThem) {
  // Jitter of a few metres a second while still, a 20-second stroll across a room, a real walk.
  std::vector<Location> fixes;
  double north = 0.0;
  for (int t = 0; t <= 200; ++t) {
    const bool strolling = t > 60 && t <= 80;
    const bool walking = t > 120;
    north += strolling || walking ? 1.4 : (t % 2 == 0 ? 2.0 : -2.0);
    fixes.push_back(fixAt(t, north));
  }
  const auto plan = MotionPlan::plan(fixes);
  ASSERT_EQ(plan.size(), 2u);
  EXPECT_EQ(plan[0].pattern, MotionPattern::kStill);
  EXPECT_EQ(plan[1].pattern, MotionPattern::kWalking);
  // Ten seconds of walking show after a few of them.
  EXPECT_NEAR(plan[1].start.timeIntervalSince1970(), 1124.0, 2.0);
  EXPECT_EQ(plan[1].end, Date(1200.0));
  EXPECT_TRUE(MotionPlan::plan({fixAt(0, 0)}).empty());
}

TEST(MotionPlanTest, ScriptsLastTheirSegmentAndDifferInMotion) {
  const auto still = MotionPlan::script(MotionPattern::kStill, 10.0);
  const auto walking = MotionPlan::script(MotionPattern::kWalking, 10.0);
  const auto driving = MotionPlan::script(MotionPattern::kDriving, 10.0);
  EXPECT_EQ(still.duration(), 10.0);
  // How far each reading strays from gravity over a second: steps shake most, a car a little.
  const auto spread = [](const platform::MotionScript& script) {
    double low = 1e9, high = -1e9;
    for (int i = 0; i < 100; ++i) {
      const auto reading = script.readingAt(0.01 * i);
      const double y = reading->acceleration.y + reading->acceleration.z;
      low = std::min(low, y);
      high = std::max(high, y);
    }
    return high - low;
  };
  EXPECT_LT(spread(still), 0.02);
  EXPECT_GT(spread(driving), 0.04);
  EXPECT_LT(spread(driving), 0.17);
  EXPECT_GT(spread(walking), 0.3);
}

}  // namespace
}  // namespace trevalo::simulation
