#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "motion/TRMotionControl.h"

namespace trevalo {
namespace {

using platform::AccelerometerData;
using platform::MotionActivity;

constexpr std::size_t kFiveSeconds = 101;  // samples i / 20.0 s: the last at exactly 5.0 s

// `count` samples 20 a second, lying face up. The first reading on x and y is a hair below 0:
// an axis whose first reading is exactly 0 has no sign for a crossing to flip against.
std::vector<AccelerometerData> resting(std::size_t count) {
  std::vector<AccelerometerData> window(count);
  for (std::size_t i = 0; i < count; ++i) {
    window[i] = {{0.0, 0.0, -1.0}, static_cast<double>(i) / 20.0};
  }
  window[0].acceleration = {-0.001, -0.001, -1.0};
  return window;
}

TRAccelerometerAnalysis analyse(const std::vector<AccelerometerData>& window) {
  const auto analysis = TRMotionControl::analyzeAccelerometerData(window);
  EXPECT_TRUE(analysis.has_value());
  return analysis.value_or(TRAccelerometerAnalysis{});
}

TEST(TRMotionControlAnalysisTest, EmptyRangesGiveNoNumberRatherThanZeroOverZero) {
  EXPECT_FALSE(TRMotionControl::analyzeAccelerometerData({}).has_value());
  const auto single = resting(1);
  EXPECT_FALSE(TRMotionControl::averageFor(single, 0, 0).has_value());
  // One sample has no neighbours to form a mean from: its position is skipped.
  const auto analysis = analyse(single);
  EXPECT_EQ(analysis.mode, TRActivityModeStationary);
  EXPECT_EQ(analysis.fineCrossings, 0.0);
}

// Over exactly 5.0 s walking needs more than 2 * 5 + 3 = 13 coarse crossings, and fewer than
// four fine crossings for each coarse one. Coarse crossings of one axis count only when more
// than 0.25 s apart: from sample 10 on (0.5 s), five samples make exactly 0.25 s.
TEST(TRMotionControlAnalysisTest, CrossingCountsDecideAtTheMargins) {
  struct Case {
    int pulses;
    std::size_t spacing;
    int ripple;
    double coarse;
    TRActivityMode mode;
    // From sample 15 the phone lies face down (z = 1) or falls (z = 0); either way the check
    // at sample 20 rejects the window.
    double zFrom15 = -1.0;
  };
  const Case cases[] = {
      {13, 7, 0, 13.0, TRActivityModeStationary},    {14, 7, 41, 14.0, TRActivityModeWalking},
      {14, 7, 42, 14.0, TRActivityModeStationary},   {2, 5, 0, 1.0, TRActivityModeStationary},
      {2, 6, 0, 2.0, TRActivityModeStationary},      {14, 7, 0, 0.0, TRActivityModeStationary, 1.0},
      {14, 7, 0, 0.0, TRActivityModeStationary, 0.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.pulses << " pulses " << c.spacing << " samples apart, ripple " << c.ripple);
    auto window = resting(kFiveSeconds);
    // Alternating pulses of 0.2 g on x, each a coarse and a fine crossing; the short runs start
    // at sample 10 so that their spacing is measured in whole samples.
    const std::size_t first = c.pulses > 2 ? 6 : 10;
    for (int p = 0; p < c.pulses; ++p) {
      window.at(first + static_cast<std::size_t>(p) * c.spacing).acceleration.x =
          p % 2 == 0 ? 0.2 : -0.2;
    }
    // A ripple of ±0.03 g on y: fine crossings only.
    for (int i = 0; i <= c.ripple; ++i) {
      window.at(static_cast<std::size_t>(i)).acceleration.y = i % 2 == 0 ? -0.03 : 0.03;
    }
    const bool rejected = c.zFrom15 != -1.0;
    for (std::size_t i = 15; rejected && i < window.size(); ++i)
      window[i].acceleration.z = c.zFrom15;
    const auto analysis = analyse(window);
    EXPECT_EQ(analysis.coarseCrossings, c.coarse);
    // A rejected window keeps the fine crossings counted before the check: three pulses.
    EXPECT_EQ(analysis.fineCrossings, rejected ? 3 : c.pulses + c.ripple);
    EXPECT_EQ(analysis.mode, c.mode);
  }
}

// Several flags at once name one activity, the one that explains the others.
TEST(TRMotionControlAnalysisTest, ClassifierFlagsGiveOneActivityByPriority) {
  const std::pair<MotionActivity, TRActivityMode> cases[] = {
      {{}, TRActivityModeUnknown},
      {{.unknown = true}, TRActivityModeUnknown},
      {{.stationary = true}, TRActivityModeStationary},
      {{.walking = true}, TRActivityModeWalking},
      {{.running = true}, TRActivityModeRunning},
      {{.cycling = true}, TRActivityModeCycling},
      {{.automotive = true}, TRActivityModeAutomotive},
      {{.stationary = true, .walking = true}, TRActivityModeWalking},
      {{.stationary = true, .cycling = true}, TRActivityModeCycling},
      {{.stationary = true, .automotive = true}, TRActivityModeAutomotive},
      {{.walking = true, .running = true}, TRActivityModeRunning},
      {{.walking = true, .cycling = true}, TRActivityModeCycling},
      {{.walking = true, .automotive = true}, TRActivityModeAutomotive},
      {{.running = true, .cycling = true}, TRActivityModeCycling},
      {{.walking = true, .unknown = true}, TRActivityModeWalking},
      {{.walking = true, .cycling = true, .offersCycling = false}, TRActivityModeWalking},
      {{.cycling = true, .offersCycling = false}, TRActivityModeUnknown}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(TRMotionControl::getActivityModeByMotionActivty(cases[i].first), cases[i].second)
        << "case " << i;
  }
  // Whatever the flags, the answer is an activity.
  for (unsigned flags = 0; flags < 64; ++flags) {
    const MotionActivity activity{.stationary = (flags & 1) != 0,
                                  .walking = (flags & 2) != 0,
                                  .running = (flags & 4) != 0,
                                  .automotive = (flags & 8) != 0,
                                  .cycling = (flags & 16) != 0,
                                  .unknown = (flags & 32) != 0};
    EXPECT_LE(TRMotionControl::getActivityModeByMotionActivty(activity), TRActivityModeAutomotive)
        << "flags " << flags;
  }
}

}  // namespace
}  // namespace trevalo
