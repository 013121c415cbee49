#include "trevalo/platform/simulated/MotionScript.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "trevalo/platform/Exception.h"
#include "trevalo/platform/simulated/AltitudeScript.h"
#include "trevalo/platform/simulated/MotionActivityScript.h"

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

  expectNear(script.readingAt(1.999)->acceleration, MotionScript::kFaceUp, kNoise);
  // The empty free fall is passed over: the turn starts at 2 s.
  expectNear(script.readingAt(2.0)->acceleration, MotionScript::kFaceUp, kNoise);
  expectNear(script.readingAt(5.5)->acceleration, {0.0, 0.0, 0.0}, kNoise);
  for (const double outside : {-0.001, 6.0, kNaN}) {
    EXPECT_FALSE(script.readingAt(outside).has_value()) << outside;
  }
  EXPECT_FALSE(MotionScript().readingAt(0.0).has_value());

  // The noise is the same every time the script is played.
  EXPECT_EQ(script.readingAt(1.25)->acceleration, script.readingAt(1.25)->acceleration);
  EXPECT_NE(script.readingAt(1.25)->acceleration, script.readingAt(1.30)->acceleration);
}

TEST(MotionScriptTest, RefusesDurationsAndRatesThatAreNotNumbers) {
  const std::function<void()> calls[] = {
      [] { MotionScript::still(-1.0); },
      [] { MotionScript::freeFall(kNaN); },
      [] { MotionScript::walking(1.0, 0.0); },
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
  EXPECT_EQ(script.altitudeAt(15.0), 2.5);
  EXPECT_EQ(script.altitudeAt(25.0), 0.0);
  EXPECT_EQ(script.altitudeAt(32.0), -5.0);
  EXPECT_FALSE(script.altitudeAt(35.0).has_value());
}

}  // namespace
}  // namespace trevalo::platform
