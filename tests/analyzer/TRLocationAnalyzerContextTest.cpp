#include "trevalo/analyzer/TRLocationAnalyzerContext.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "AnalyzerTestSupport.h"

namespace trevalo {
namespace {

using testing::kIndoors;
using testing::kOutdoors;
using testing::makeSample;
using testing::metres;

class ContextTest : public testing::PlatformTest {
 protected:
  std::shared_ptr<TRVellLocation> append(double north, double secondsAgo = 0.0,
                                         testing::FixKind kind = kOutdoors) {
    auto sample = makeSample(metres(0, north), now().dateByAddingTimeInterval(-secondsAgo), kind);
    context.locations.push_back(sample);
    return sample;
  }

  TRLocationAnalyzerContext context{TRGeofencesManager::make()};
};

TEST_F(ContextTest, AnchorScanSettlesOnTheEarliestSampleWithinTheThresholdAtOrAfterTheAnchor) {
  append(0);
  const auto b = append(50);
  const auto c = append(45);
  const auto current = append(0);

  // The first sample lies at the current spot but before the anchor, and a scan never goes
  // back: the current sample itself becomes the anchor, and the index its position.
  std::uint64_t index = 0;
  auto anchor = context.getFirstLocationWithDistanceLessThanThreshold(30.0, *current, b, index);
  EXPECT_EQ(anchor, current);
  EXPECT_EQ(index, 3u);

  // An anchor still within reach stays.
  index = 1;
  anchor = context.getFirstLocationWithDistanceLessThanThreshold(30.0, *c, b, index);
  EXPECT_EQ(anchor, b);
  EXPECT_EQ(index, 1u);

  // Without an anchor the scan starts at the index and takes the first sample within reach.
  index = 0;
  anchor = context.getFirstLocationWithDistanceLessThanThreshold(30.0, *c, nullptr, index);
  EXPECT_EQ(anchor, b);
  EXPECT_EQ(index, 1u);
}

TEST_F(ContextTest, AnchorScanKeepsItsIndexWhenTheHistoryDropsEntries) {
  for (int i = 0; i < 4; ++i)
    append(0);
  const auto anchor = append(100);
  append(200);
  std::uint64_t index = 4;
  // Two entries leave the front: the anchor now sits at position 2, the index still says 4, so
  // the next scan starts at 4 and passes over the near sample at position 3.
  context.locations.pop_front();
  context.locations.pop_front();
  const auto later = append(200);
  const auto current = append(200);
  const auto found =
      context.getFirstLocationWithDistanceLessThanThreshold(7.5, *current, anchor, index);
  EXPECT_EQ(found, later);
  EXPECT_EQ(index, 4u);
}

TEST_F(ContextTest, WalkedIndoorsNeedsFiveIndoorSamplesAndFifteenSecondsWithinThirtyMetres) {
  const auto anchor = append(0, 15.0);
  const auto current = append(10, 0.0, kIndoors);
  current->isIndoor = true;
  for (int i = 0; i < 4; ++i)
    context.indoorArray.push_back(current);
  EXPECT_FALSE(context.isWalkedIndoors(*current));
  context.indoorArray.push_back(current);
  EXPECT_TRUE(context.isWalkedIndoors(*current));
  current->isIndoor = false;
  EXPECT_FALSE(context.isWalkedIndoors(*current));
  current->isIndoor = true;
  current->location = Location(current->location.coordinate(), 0.0, 30.0, -1.0, -1.0, 0.0,
                               anchor->timestamp().dateByAddingTimeInterval(14.9));
  EXPECT_FALSE(context.isWalkedIndoors(*current));
}

struct OutdoorsCase {
  const char* name;
  bool walkedLately;
  bool indoor;
  double wentOutside;
  double anchorAge;
  double accuracy;
  std::optional<double> wifiLostSecondsAgo;
  bool expected;
};

class OutdoorsTest : public ContextTest, public ::testing::WithParamInterface<OutdoorsCase> {};

TEST_P(OutdoorsTest, WeighsTheEvidenceInOrder) {
  const OutdoorsCase& c = GetParam();
  if (c.walkedLately) context.setLastWalkingDetectedOn(now().dateByAddingTimeInterval(-119.0));
  context.wentOutside = c.wentOutside;
  if (c.wifiLostSecondsAgo) {
    context.lastWifiDisconnectedDate = now().dateByAddingTimeInterval(-*c.wifiLostSecondsAgo);
  }
  append(0, c.anchorAge);
  const auto current = append(5, 0.0, {c.accuracy, -1.0, 0.0});
  current->isIndoor = c.indoor;
  EXPECT_EQ(context.isOutdoors(*current), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutdoorsTest,
    ::testing::Values(
        OutdoorsCase{"NoWalkingReported", false, false, 100.0, 10.0, 5.0, 0.0, false},
        OutdoorsCase{"OutdoorSample", true, false, 0.0, 500.0, 100.0, std::nullopt, true},
        OutdoorsCase{"LittleEvidence", true, true, 2.9, 121.0, 30.0, std::nullopt, false},
        OutdoorsCase{"EnoughWentOutside", true, true, 3.0, 121.0, 30.0, std::nullopt, true},
        OutdoorsCase{"RecentAnchorGoodFix", true, true, 0.0, 120.0, 64.9, std::nullopt, true},
        OutdoorsCase{"RecentAnchorPoorFix", true, true, 0.0, 120.0, 65.0, std::nullopt, false},
        OutdoorsCase{"OldAnchor", true, true, 0.0, 120.5, 5.0, std::nullopt, false},
        OutdoorsCase{"WifiJustLost", true, true, 0.0, 500.0, 100.0, 180.0, true},
        OutdoorsCase{"WifiLostLongAgo", true, true, 0.0, 500.0, 100.0, 181.0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContextTest, WalkingIsRememberedForTwoMinutes) {
  EXPECT_FALSE(context.walkedInLast2Minutes());
  context.setLastWalkingDetectedOn(now());
  advanceBy(119.9);
  EXPECT_TRUE(context.walkedInLast2Minutes());
  advanceBy(0.1);
  EXPECT_FALSE(context.walkedInLast2Minutes());
}

TEST_F(ContextTest, LastWalkingDetectedOnIsSafeToWriteFromAnotherThread) {
  std::thread writer([&] {
    for (int i = 0; i < 1000; ++i)
      context.setLastWalkingDetectedOn(Date(1000.0 + i));
  });
  for (int i = 0; i < 1000; ++i) {
    const auto seen = context.lastWalkingDetectedOn();
    if (seen) {
      EXPECT_GE(seen->timeIntervalSince1970(), 1000.0);
    }
  }
  writer.join();
  EXPECT_EQ(context.lastWalkingDetectedOn(), Date(1999.0));
}

struct WifiCase {
  const char* name;
  std::optional<std::string> before;
  std::optional<std::string> after;
  bool left;
};

class WifiCheckTest : public ContextTest, public ::testing::WithParamInterface<WifiCase> {};

TEST_P(WifiCheckTest, ReportsLeavingANamedNetwork) {
  const WifiCase& c = GetParam();
  platform().wifiNetworkNameText().set(c.before);
  EXPECT_FALSE(context.updateLastWifiNameAndDate());
  advanceBy(10.0);
  platform().wifiNetworkNameText().set(c.after);
  EXPECT_EQ(context.updateLastWifiNameAndDate(), c.left);
  EXPECT_EQ(context.lastWifiName, c.after);
  EXPECT_EQ(context.lastWifiDisconnectedDate, c.left ? std::optional(now()) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Transitions, WifiCheckTest,
                         ::testing::Values(WifiCase{"AToNone", "A", std::nullopt, true},
                                           WifiCase{"NoneToA", std::nullopt, "A", false},
                                           WifiCase{"AToA", "A", "A", false},
                                           WifiCase{"AToB", "A", "B", true},
                                           WifiCase{"EmptyToNone", "", std::nullopt, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trevalo
