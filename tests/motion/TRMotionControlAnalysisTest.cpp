#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "trevalo/motion/TRMotionControl.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/MotionScript.h"

namespace trevalo {
namespace {

using platform::AccelerometerData;
using platform::MotionActivity;
using platform::MotionScript;

constexpr std::size_t kFiveSeconds = 101;  // samples i / 20.0 s: the last at exactly 5.0 s

// `count` samples 20 a second, lying face up. The first reading on x and y is a hair below 0:
// an axis whose first reading is exactly 0 has no sign for a crossing to flip against.
std::vector<AccelerometerData> resting(std::size_t count) {
  std::vector<AccelerometerData> window(count);
  for (std::size_t i = 0; i < count; ++i) {
    window[i] = {{0.0, 0.0, -1.0}, static_cast<double>(i) / 20.0};
  }
  if (count > 0) window[0].acceleration = {-0.001, -0.001, -1.0};
  return window;
}

// Alternating pulses of 0.2 g on x, one every `spacing` samples from sample `first` on: each
// one is a coarse and a fine crossing while they are more than 0.25 s apart. Between them the
// local mean stays below the fine threshold.
void addPulses(std::vector<AccelerometerData>& window, int pulses, std::size_t spacing = 7,
               std::size_t first = 6) {
  for (int p = 0; p < pulses; ++p) {
    window.at(first + static_cast<std::size_t>(p) * spacing).acceleration.x =
        p % 2 == 0 ? 0.2 : -0.2;
  }
}

// A ripple of ±0.03 g on y over samples 0 to `flips`: `flips` fine crossings, no coarse ones.
void addRipple(std::vector<AccelerometerData>& window, int flips) {
  for (int i = 0; i <= flips; ++i) {
    window.at(static_cast<std::size_t>(i)).acceleration.y = i % 2 == 0 ? -0.03 : 0.03;
  }
}

std::vector<AccelerometerData> played(const MotionScript& script, double from, std::size_t count) {
  std::vector<AccelerometerData> window;
  for (std::size_t i = 0; i < count; ++i) {
    const double t = from + static_cast<double>(i) / 20.0;
    window.push_back({script.readingAt(t).value().acceleration, t});
  }
  return window;
}

TRAccelerometerAnalysis analyse(const std::vector<AccelerometerData>& window) {
  const auto analysis = TRMotionControl::analyzeAccelerometerData(window);
  EXPECT_TRUE(analysis.has_value());
  return analysis.value_or(TRAccelerometerAnalysis{});
}

TEST(TRMotionControlAnalysisTest, AWindowOfNoneOrOneSampleGivesNoStepsToCount) {
  EXPECT_FALSE(TRMotionControl::analyzeAccelerometerData({}).has_value());

  // One sample has no neighbours to form a mean from.
  const auto single = analyse({{{0.3, -0.2, 5.0}, 1.0}});
  EXPECT_EQ(single.mode, TRActivityModeStationary);
  EXPECT_EQ(single.coarseCrossings, 0.0);
  EXPECT_EQ(single.fineCrossings, 0.0);
}

// Over exactly 5.0 s walking needs more than 2 * 5 + 3 = 13 coarse crossings, and fewer than
// four fine crossings for each coarse one. Coarse crossings of one axis count only when more
// than 0.25 s apart: from sample 10 on (0.5 s), five samples make exactly 0.25 s.
TEST(TRMotionControlAnalysisTest, CrossingCountsDecideAtTheMargins) {
  struct Case {
    int pulses;
    std::size_t spacing;
    std::size_t first;
    int ripple;
    double coarse;
    TRActivityMode mode;
  };
  const Case cases[] = {
      {13, 7, 6, 0, 13.0, TRActivityModeStationary}, {14, 7, 6, 0, 14.0, TRActivityModeWalking},
      {14, 7, 6, 41, 14.0, TRActivityModeWalking},   {14, 7, 6, 42, 14.0, TRActivityModeStationary},
      {2, 4, 10, 0, 1.0, TRActivityModeStationary},  {2, 5, 10, 0, 1.0, TRActivityModeStationary},
      {2, 6, 10, 0, 2.0, TRActivityModeStationary}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.pulses << " pulses " << c.spacing << " samples apart, ripple " << c.ripple);
    auto window = resting(kFiveSeconds);
    addPulses(window, c.pulses, c.spacing, c.first);
    addRipple(window, c.ripple);
    const auto analysis = analyse(window);
    EXPECT_EQ(analysis.duration, 5.0);
    EXPECT_EQ(analysis.coarseCrossings, c.coarse);
    EXPECT_EQ(analysis.fineCrossings, c.pulses + c.ripple);
    EXPECT_EQ(analysis.mode, c.mode);
  }
}

TEST(TRMotionControlAnalysisTest, TurningTheDeviceRejectsTheWindow) {
  auto window = resting(kFiveSeconds);
  addPulses(window, 14);
  ASSERT_EQ(analyse(window).mode, TRActivityModeWalking);

  // Face down from sample 15 on: the mean at the check of sample 20 is far from the one at 0.
  for (std::size_t i = 15; i < window.size(); ++i)
    window[i].acceleration.z = 1.0;
  const auto analysis = analyse(window);
  EXPECT_EQ(analysis.mode, TRActivityModeStationary);
  EXPECT_EQ(analysis.coarseCrossings, 0.0);
  EXPECT_GT(analysis.fineCrossings, 0.0);  // what was counted before the check stays
}

// Shaken while falling: three pulses on each of x and y within a second. With 20 samples the
// only check is at sample 0, where the weightless mean becomes the reference; the 21st sample
// brings the check of sample 20, which finds no gravity and rejects the window.
TEST(TRMotionControlAnalysisTest, FreeFallOnlyCountsAgainstAWindowAfterTheFirstCheck) {
  for (const std::size_t count : {20U, 21U}) {
    auto window = resting(count);
    for (auto& sample : window)
      sample.acceleration.z = 0.0;
    for (const std::size_t i : {6U, 12U, 18U})
      window[i].acceleration.x = window[i].acceleration.y = i == 12 ? -0.2 : 0.2;
    const auto analysis = analyse(window);
    const bool rejected = count == 21;
    EXPECT_EQ(analysis.coarseCrossings, rejected ? 0.0 : 6.0) << count << " samples";
    EXPECT_EQ(analysis.mode, rejected ? TRActivityModeStationary : TRActivityModeWalking)
        << count << " samples";
  }
}

TEST(TRMotionControlAnalysisTest, ScriptedMotionsAreToldApart) {
  struct Case {
    const char* name;
    MotionScript script;
    TRActivityMode mode;
  };
  const MotionScript still = MotionScript::still(2.0);
  const std::vector<Case> cases = {
      {"slow walk", MotionScript::walking(20.0, 1.6), TRActivityModeWalking},
      {"walk", MotionScript::walking(20.0), TRActivityModeWalking},
      {"brisk walk", MotionScript::walking(20.0, 2.2, 0.35), TRActivityModeWalking},
      {"still", MotionScript::still(20.0), TRActivityModeStationary},
      {"turned over",
       still.then(MotionScript::turnedOver(1.0)).then(MotionScript::still(20.0, {0.0, 0.0, 1.0})),
       TRActivityModeStationary},
      {"falling", MotionScript::freeFall(20.0), TRActivityModeStationary},
  };
  for (const auto& c : cases) {
    // Windows starting at different phases of the motion.
    for (const double from : {0.0, 0.37, 1.5}) {
      EXPECT_EQ(analyse(played(c.script, from, kFiveSeconds)).mode, c.mode)
          << c.name << " from " << from << " s";
    }
  }
}

TEST(TRMotionControlAnalysisTest, AverageForAnEmptyOrInvalidRangeGivesNoNumber) {
  const std::vector<AccelerometerData> samples = {
      {{1.0, 2.0, 3.0}, 0.0}, {{3.0, 4.0, 5.0}, 0.1}, {{5.0, 0.0, -1.0}, 0.2}};
  EXPECT_EQ(TRMotionControl::averageFor(samples, 1, 3), TRVector(4.0, 2.0, 2.0));
  EXPECT_FALSE(TRMotionControl::averageFor(samples, 2, 2).has_value());
  EXPECT_THROW(TRMotionControl::averageFor(samples, 2, 4), Exception);
  EXPECT_THROW(TRMotionControl::averageFor(samples, 2, 1), Exception);
}

TEST(TRMotionControlAnalysisTest, ClassifierFlagsCombineBitByBit) {
  struct Case {
    MotionActivity activity;
    TRActivityMode mode;
  };
  const Case cases[] = {{{}, TRActivityModeUnknown},
                        {{.unknown = true}, TRActivityModeUnknown},
                        {{.walking = true}, TRActivityModeWalking},
                        {{.stationary = true, .walking = true}, static_cast<TRActivityMode>(3)},
                        {{.walking = true, .running = true}, TRActivityModeRunning},
                        {{.stationary = true, .automotive = true}, TRActivityModeAutomotive},
                        {{.stationary = true, .cycling = true}, static_cast<TRActivityMode>(5)},
                        {{.cycling = true}, TRActivityModeCycling},
                        // Where the platform offers no cycling flag, it is not read.
                        {{.cycling = true, .offersCycling = false}, TRActivityModeUnknown}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(TRMotionControl::getActivityModeByMotionActivty(cases[i].activity), cases[i].mode)
        << "case " << i;
  }
}

}  // namespace
}  // namespace trevalo
