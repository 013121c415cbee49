#include "trevalo/platform/MotionScript.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "trevalo/platform/AltitudeScript.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/MotionActivityScript.h"

namespace trevalo::platform {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kNoise = MotionScript::kSensorNoise;

void expectNear(const Acceleration& actual, const Acceleration& expected, double tolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

TEST(MotionScriptTest, SegmentsFollowEachOtherAndNothingLiesOutside) {
  const auto script = MotionScript::still(2.0)
                          .then(MotionScript::freeFall(0.0))
                          .then(MotionScript::turnedOver(3.0).then(MotionScript::freeFall(1.0)));
  EXPECT_EQ(script.duration(), 6.0);

  expectNear(script.readingAt(0.0)->acceleration, MotionScript::kFaceUp, kNoise);
  expectNear(script.readingAt(1.999)->acceleration, MotionScript::kFaceUp, kNoise);
  // The empty free fall is passed over: the turn starts at 2 s.
  expectNear(script.readingAt(2.0)->acceleration, MotionScript::kFaceUp, kNoise);
  expectNear(script.readingAt(5.5)->acceleration, {0.0, 0.0, 0.0}, kNoise);
  for (const double outside : {-0.001, 6.0, 100.0, kNaN}) {
    EXPECT_FALSE(script.readingAt(outside).has_value()) << outside;
  }
  EXPECT_FALSE(MotionScript().readingAt(0.0).has_value());

  // The noise is the same every time the script is played.
  EXPECT_EQ(script.readingAt(1.25)->acceleration, script.readingAt(1.25)->acceleration);
  EXPECT_NE(script.readingAt(1.25)->acceleration, script.readingAt(1.30)->acceleration);
}

TEST(MotionScriptTest, TurningOverMovesGravityFromZToMinusZ) {
  const auto turn = MotionScript::turnedOver(2.0);
  expectNear(turn.readingAt(1.0)->acceleration, {0.0, 1.0, 0.0}, kNoise);
  expectNear(turn.readingAt(1.999)->acceleration, {0.0, 0.0, 1.0}, 2 * kNoise);
  EXPECT_NEAR(turn.readingAt(0.5)->rotationRate.x, std::numbers::pi / 2.0, kNoise);
}

TEST(MotionScriptTest, AWalkBouncesAroundGravityAtTheStepRate) {
  const auto walk = MotionScript::walking(10.0, 2.0, 0.25);
  // Over one stride (two steps) the bounce averages out to gravity along -y.
  Acceleration mean;
  double highest = -2.0;
  constexpr int kSamples = 200;
  for (int i = 0; i < kSamples; ++i) {
    const auto a = walk.readingAt(3.0 + i / 200.0)->acceleration;
    mean = {mean.x + a.x / kSamples, mean.y + a.y / kSamples, mean.z + a.z / kSamples};
    highest = std::max(highest, a.y);
  }
  expectNear(mean, {0.0, -1.0, 0.0}, kNoise);
  EXPECT_NEAR(highest, -0.75, 2 * kNoise);
}

TEST(MotionScriptTest, RefusesDurationsAndRatesThatAreNotNumbers) {
  const std::function<void()> calls[] = {
      [] { MotionScript::still(-1.0); },
      [] { MotionScript::freeFall(kNaN); },
      [] { MotionScript::walking(1.0, 0.0); },
      [] { MotionScript::walking(1.0, 2.0, kNaN); },
      [] {
        MotionScript::still(1.0, {kNaN, 0.0, 0.0});
      },
      [] { AltitudeScript::climbing(1.0, std::numeric_limits<double>::infinity()); },
      [] { MotionActivityScript::activity(-0.5, {}); },
  };
  for (const auto& call : calls)
    EXPECT_THROW(call(), Exception);
}

TEST(MotionScriptTest, AltitudeCarriesOnFromWhereTheLastSegmentEnded) {
  const auto script =
      AltitudeScript::level(10.0)
          .then(AltitudeScript::climbing(10.0, 0.5))
          .then(AltitudeScript::climbing(10.0, -1.0).then(AltitudeScript::level(5)));
  EXPECT_EQ(script.altitudeAt(5.0), 0.0);
  EXPECT_EQ(script.altitudeAt(15.0), 2.5);
  EXPECT_EQ(script.altitudeAt(20.0), 5.0);
  EXPECT_EQ(script.altitudeAt(25.0), 0.0);
  EXPECT_EQ(script.altitudeAt(32.0), -5.0);
  EXPECT_FALSE(script.altitudeAt(35.0).has_value());
}

TEST(MotionScriptTest, AnEndlessSegmentHoldsEveryLaterMoment) {
  const auto script = MotionActivityScript::activity(1.0, {.stationary = true})
                          .then(MotionActivityScript::activity(
                              std::numeric_limits<double>::infinity(), {.walking = true}))
                          .then(MotionActivityScript::activity(1.0, {.automotive = true}));
  EXPECT_EQ(script.activityAt(0.5), MotionActivity{.stationary = true});
  EXPECT_EQ(script.activityAt(1e12), MotionActivity{.walking = true});
}

}  // namespace
}  // namespace trevalo::platform
