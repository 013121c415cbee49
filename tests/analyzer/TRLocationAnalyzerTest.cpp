#include "trevalo/analyzer/TRLocationAnalyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "AnalyzerTestSupport.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

using testing::chordNorthOf;
using testing::FixKind;
using testing::kIndoors;
using testing::kOutdoors;
using testing::metres;

class LocationAnalyzerTest : public testing::AnalyzerTest {
 protected:
  // Five samples 100 m apart, one a second: afterwards every sample is scored, and a sample
  // 100 m further on has only itself within 20 m.
  void warmUp() {
    for (int i = 0; i < 5; ++i) {
      advanceBy(1.0);
      feed(metres(0, 100.0 * i));
    }
  }
  Coordinate farAway() const { return metres(0, 1000.0); }
};

TEST_F(LocationAnalyzerTest, TheFirstFourSamplesOnlyFillTheHistory) {
  advanceBy(10.0);
  for (int i = 0; i < 4; ++i) {
    const auto sample = feed(metres(0, 10.0 * i), {70.0, -1.0, 0.0});
    // A 70 m fix would score as indoor; these are not scored at all.
    EXPECT_EQ(sample->indoorScore, 0.0);
    EXPECT_FALSE(sample->isIndoor);
  }
  EXPECT_EQ(recorder->count("location"), 4u);
  EXPECT_EQ(recorder->count("mode"), 0u);
  EXPECT_TRUE(analyzer->initalized());
  EXPECT_EQ(analyzer->pointIndex(), 4);
  EXPECT_TRUE(context().indoorArray.empty());
  // The initial mode was entered with the first sample: its 120 s run from then.
  EXPECT_EQ(runLoop().nextTimerFireDate(), now().dateByAddingTimeInterval(120.0));
  EXPECT_EQ(analyzer->getBestAvailableLocation()->coordinate(), metres(0, 30.0));
}

TEST_F(LocationAnalyzerTest, SpeedIsTheChordDistanceOverTheTimeBetweenSamples) {
  warmUp();
  advanceBy(4.0);
  const auto moved = feed(metres(0, 420.0));
  EXPECT_NEAR(moved->calculatedSpeed, 5.0, 1e-6);
  // A second sample with the same time stamp has no speed rather than an infinite one.
  const auto again = feed(metres(0, 440.0));
  EXPECT_EQ(again->calculatedSpeed, 0.0);
}

TEST_F(LocationAnalyzerTest, AFreshFixIsScoredOnAccuracyCourseAndSpeed) {
  struct Case {
    const char* name;
    FixKind kind;
    double score;
  };
  // 10 m exactly is the figure network positioning reports indoors: a band of its own.
  const Case cases[] = {{"good", {5.0, 90.0, 1.4}, 0.0},
                        {"just below ten", {9.99999985, 90.0, 1.4}, 0.0},
                        {"exactly ten", {10.0, 90.0, 1.4}, 0.225},
                        {"hair above ten", {10.00000005, 90.0, 1.4}, 0.225},
                        {"poor", {10.5, 90.0, 1.4}, 0.45},
                        {"poor at 65", {65.0, 90.0, 1.4}, 0.45},
                        {"very poor", {70.0, 90.0, 1.4}, 1.0},
                        {"no course", {5.0, -1.0, 1.4}, 0.2},
                        {"north is no course", {5.0, 0.0, 1.4}, 0.2},
                        {"no speed", {5.0, 90.0, -1.0}, 0.2},
                        {"standing still", {5.0, 90.0, 0.0}, 0.2}};
  warmUp();
  double north = 1000.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each fix far from every other, so no anchor has aged and only the fix itself counts.
    advanceBy(1.0);
    north += 1000.0;
    const auto sample = feed(metres(0, north), c.kind);
    EXPECT_NEAR(sample->indoorScore, c.score, 1e-12);
    EXPECT_EQ(sample->isIndoor, c.score >= 1.0);
  }
}

TEST_F(LocationAnalyzerTest, StayingPutAddsScoreAsEachAnchorAges) {
  warmUp();
  // Over 300 s at one spot, then a step of 18 m: within 20 m of the long stay, but beyond the 7.5 m
  // and 15 m anchors.
  const Coordinate spot = farAway();
  stay(spot, 308.0, 7.0, kOutdoors);
  advanceBy(1.0);
  const auto stepped = feed(chordNorthOf(spot, 18.0));
  EXPECT_NEAR(stepped->indoorScore, 0.7, 1e-12);
  EXPECT_FALSE(stepped->isIndoor);
  advanceBy(16.0);
  const auto settled = feed(chordNorthOf(spot, 18.0));
  EXPECT_NEAR(settled->indoorScore, 1.2, 1e-12);
  EXPECT_TRUE(settled->isIndoor);
}

TEST_F(LocationAnalyzerTest, WifiFixNeedsBothShortAnchorsToCountAsIndoor) {
  warmUp();
  const FixKind wifiStill{10.0, -1.0, 0.0};
  const Coordinate spot = farAway();
  advanceBy(1.0);
  EXPECT_NEAR(feed(spot, wifiStill)->indoorScore, 0.625, 1e-12);
  // 16 s later, 10 m away: only the 15 m anchor is old.
  advanceBy(16.0);
  const auto near = feed(chordNorthOf(spot, 10.0), wifiStill);
  EXPECT_NEAR(near->indoorScore, 0.825, 1e-12);
  EXPECT_FALSE(near->isIndoor);
  // 16 s after that, back at the same place: both short anchors are old.
  advanceBy(16.0);
  const auto back = feed(chordNorthOf(spot, 10.0), wifiStill);
  EXPECT_NEAR(back->indoorScore, 1.125, 1e-12);
  EXPECT_TRUE(back->isIndoor);
  EXPECT_EQ(context().indoorArray.back(), back);
}

TEST_F(LocationAnalyzerTest, OutdoorEvidenceGrowsByOneAndShrinksByAThirdWithAFloor) {
  warmUp();
  EXPECT_EQ(context().wentOutside, 101.0);  // the fifth sample was the first one scored
  context().wentOutside = 0.2;
  advanceBy(1.0);
  ASSERT_TRUE(feed(farAway(), {70.0, -1.0, 0.0})->isIndoor);
  EXPECT_EQ(context().wentOutside, 0.0);
  advanceBy(1.0);
  feed(metres(0, 2000.0));
  EXPECT_EQ(context().wentOutside, 1.0);
}

TEST_F(LocationAnalyzerTest, IndoorSamplesFadeWhileTheUserIsOutdoors) {
  auto& indoor = context().indoorArray;
  const auto at = [&](double secondsAgo) {
    return testing::makeSample(metres(0, 0), now().dateByAddingTimeInterval(-secondsAgo));
  };
  const auto old = at(130.0);
  const auto a = at(100.0);
  const auto b = at(50.0);
  const auto c = at(10.0);
  indoor = {old, a, b, c};
  const auto outdoor = at(0.0);

  // First outdoor sample: the count is odd, so only what is older than 120 s goes.
  analyzer->ageIndoorArray(*outdoor);
  EXPECT_EQ(indoor, (TRLocationAnalyzerContext::History{a, b, c}));
  // Second: the oldest goes as well.
  analyzer->ageIndoorArray(*outdoor);
  EXPECT_EQ(indoor, (TRLocationAnalyzerContext::History{b, c}));
  EXPECT_EQ(analyzer->indoorAgeCounter(), 2);

  // However recent, no more than five stay.
  indoor.clear();
  for (int i = 0; i < 9; ++i)
    indoor.push_back(at(9.0 - i));
  const auto newest = indoor.back();
  analyzer->ageIndoorArray(*outdoor);
  EXPECT_EQ(indoor.size(), 5u);
  EXPECT_EQ(indoor.back(), newest);
}

TEST_F(LocationAnalyzerTest, ModeChangeExitsReportsThenEnters) {
  warmUp();
  analyzer->changeModeTo(TRModeBurst);
  // The delegate hears of the change with the new mode already current, before the burst,
  // once entered, asks for the stop to be geocoded.
  EXPECT_EQ(recorder->story(), (std::vector<std::string>{"5 mode 2", "5 geocode"}));
  EXPECT_EQ(recorder->geocoded.back(), context().locations.back());
  // Switching to the active mode runs exit and entry again: a new 60 s burst.
  advanceBy(30.0);
  analyzer->changeModeTo(TRModeBurst);
  EXPECT_EQ(runLoop().nextTimerFireDate(), now().dateByAddingTimeInterval(60.0));
  EXPECT_THROW(analyzer->changeModeTo(static_cast<TRMode>(8)), Exception);
  EXPECT_EQ(analyzer->currentMode(), TRModeBurst);
}

TEST_F(LocationAnalyzerTest, ActivityChangesFromAnotherThreadArePostedToTheRunLoop) {
  std::thread sensors([&] { analyzer->processActivityChange(2); });
  sensors.join();
  EXPECT_EQ(analyzer->currentActivity(), 0u);
  EXPECT_FALSE(context().lastWalkingDetectedOn());
  runUntilIdle();
  EXPECT_EQ(analyzer->currentActivity(), 2u);
  EXPECT_EQ(context().lastWalkingDetectedOn(), now());
  EXPECT_TRUE(analyzer->walkedInLast2Minutes());

  advanceBy(10.0);
  analyzer->processActivityChange(1);
  EXPECT_EQ(analyzer->currentActivity(), 1u);
  EXPECT_EQ(context().lastWalkingDetectedOn(), now().dateByAddingTimeInterval(-10.0));
}

TEST_F(LocationAnalyzerTest, RefusesANullSampleWithoutChangingAnything) {
  EXPECT_THROW(analyzer->processLocation(nullptr), Exception);
  EXPECT_EQ(analyzer->pointIndex(), 0);
  EXPECT_FALSE(analyzer->getBestAvailableLocation());
  EXPECT_TRUE(context().locations.empty());
}

TEST_F(LocationAnalyzerTest, TheHistoryKeepsTheLatestTwoHundredSamples) {
  for (int i = 0; i < 205; ++i) {
    advanceBy(1.0);
    feed(metres(0, 10.0 * i));
  }
  ASSERT_EQ(context().locations.size(), 200u);
  EXPECT_EQ(context().locations.front()->location.coordinate(), metres(0, 50.0));
  EXPECT_EQ(analyzer->pointIndex(), 205);
}

TEST_F(LocationAnalyzerTest, FiltersReachTheGeofenceManagerWithTheDelegate) {
  auto filter = std::make_shared<TRFilter>();
  filter->venueName = "Cafe";
  filter->radius = 100.0;
  analyzer->updateFilter({filter});
  const auto& manager = context().geofenceManager;
  EXPECT_EQ(manager->filters(), std::vector<std::shared_ptr<TRFilter>>{filter});
  EXPECT_EQ(manager->delegate(), recorder);
}

}  // namespace
}  // namespace trevalo
