#include "analyzer/TRLocationAnalyzer.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "AnalyzerTestSupport.h"
#include "analyzer/modes/TRVisitWalkingMode.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

using testing::FixKind;
using testing::makeSample;
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
};

TEST_F(LocationAnalyzerTest, AFreshFixIsScoredOnAccuracyCourseAndSpeed) {
  // 10 m exactly is the figure network positioning reports indoors: a band of its own.
  const std::pair<FixKind, double> cases[] = {{{10.0, 90.0, 1.4}, 0.225},
                                              {{10.00000005, 90.0, 1.4}, 0.225},
                                              {{70.0, 90.0, 1.4}, 1.0},
                                              // Heading due north counts as no course.
                                              {{5.0, 0.0, 1.4}, 0.2}};
  warmUp();
  double north = 1000.0;
  for (const auto& [kind, score] : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "accuracy " << kind.accuracy << ", course " << kind.course);
    // Each fix far from every other, so no anchor has aged and only the fix itself counts.
    advanceBy(1.0);
    north += 1000.0;
    const auto sample = feed(metres(0, north), kind);
    EXPECT_NEAR(sample->indoorScore, score, 1e-12);
    EXPECT_EQ(sample->isIndoor, score >= 1.0);
  }
}

// The outdoor evidence rises by one per outdoor fix and falls by 0.34 per indoor one, never
// below zero: a long stay indoors does not have to be walked off before leaving counts.
TEST_F(LocationAnalyzerTest, OutdoorFixesAgeTheIndoorOnesAndRaiseTheEvidenceFromZero) {
  warmUp();
  context().wentOutside = 0.5;
  std::vector<double> evidence;
  const auto fixAt = [&](double north, FixKind kind) {
    advanceBy(1.0);
    feed(metres(0, north), kind);
    evidence.push_back(context().wentOutside);
    return context().indoorArray.size();
  };
  for (int i = 0; i < 7; ++i)
    fixAt(10000.0 + 1000.0 * i, FixKind{70.0, 90.0, 1.4});  // poor enough alone
  ASSERT_EQ(context().indoorArray.size(), 7u);
  // Every second outdoor fix drops the oldest (the warm-up made this first one even), and at
  // most five are kept.
  std::vector<std::size_t> sizes;
  for (int i = 0; i < 4; ++i)
    sizes.push_back(fixAt(20000.0 + 1000.0 * i, testing::kOutdoors));
  EXPECT_EQ(sizes, (std::vector<std::size_t>{5, 5, 4, 4}));
  fixAt(25000.0, FixKind{70.0, 90.0, 1.4});
  EXPECT_EQ(evidence, (std::vector<double>{0.5 - 0.34, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 4 - 0.34}));
  // None is kept once two minutes old.
  advanceBy(119.0);
  EXPECT_EQ(fixAt(30000.0, testing::kOutdoors), 0u);
}

TEST_F(LocationAnalyzerTest, ModeChangeExitsReportsThenEnters) {
  warmUp();
  analyzer->changeModeTo(TRModeBurst);
  // The delegate hears of the change with the new mode already current, before the burst,
  // once entered, asks for the stop to be geocoded.
  EXPECT_EQ(recorder->story, (std::vector<std::string>{"5 mode 2", "5 geocode"}));
  // Switching to the active mode runs exit and entry again: a new 60 s burst.
  advanceBy(30.0);
  analyzer->changeModeTo(TRModeBurst);
  EXPECT_EQ(runLoop().nextTimerFireDate(), now().dateByAddingTimeInterval(60.0));
  // Bad input is refused before anything changes.
  for (const int unknown : {-1, 8})
    EXPECT_THROW(analyzer->changeModeTo(static_cast<TRMode>(unknown)), Exception);
  EXPECT_THROW(analyzer->processLocation(nullptr), Exception);
  EXPECT_EQ(analyzer->currentMode(), TRModeBurst);
  EXPECT_EQ(analyzer->pointIndex(), 5);
}

TEST_F(LocationAnalyzerTest, ActivityChangesFromAnotherThreadArePostedToTheRunLoop) {
  std::thread sensors([&] { analyzer->processActivityChange(2); });
  sensors.join();
  EXPECT_EQ(analyzer->currentActivity(), 0u);
  EXPECT_FALSE(context().lastWalkingDetectedOn());
  runUntilIdle();
  EXPECT_EQ(analyzer->currentActivity(), 2u);
  EXPECT_EQ(context().lastWalkingDetectedOn(), now());
}

using ModesTest = testing::AnalyzerTest;

TEST_F(ModesTest, CarCountRisesWithFastAccurateSamplesDecaysWithSlowMovingOnesAndIsShared) {
  // One sample each: its speed, its accuracy, whether it moved at all; the count after it.
  struct Step {
    double speed;
    double accuracy;
    double distance;
    double countAfter;
    bool car;
  };
  const Step steps[] = {
      {6.0, 10.0, 30.0, 1.0, false}, {6.0, 10.0, 30.0, 2.0, false}, {6.0, 10.0, 30.0, 3.0, true},
      {6.0, 10.0, 30.0, 4.0, true},  {1.0, 10.0, 5.0, 2.5, false},  {6.0, 10.0, 30.0, 3.5, true},
      {6.0, 10.0, 30.0, 4.5, true},  {6.0, 10.0, 30.0, 5.5, true},  {6.0, 10.0, 30.0, 6.0, true},
      {6.0, 10.0, 30.0, 6.0, true},  {6.0, 30.0, 30.0, 4.5, true},  {5.0, 10.0, 25.0, 3.0, true},
      {1.0, 10.0, 0.0, 3.0, true},   {1.0, 10.0, 1.0, 1.5, false},  {1.0, 10.0, 1.0, 0.0, false},
      {1.0, 10.0, 1.0, 0.0, false},  {6.0, 24.9, 30.0, 1.0, false}};
  // The count is the process's, not the mode's: the steps alternate between two modes.
  const auto make = [&] {
    return std::dynamic_pointer_cast<TRWalkingMode>(
        TRAbstractMode::modeFor(TRModeWalking, analyzer, analyzer->locationAnalyzerContext()));
  };
  const std::shared_ptr<TRWalkingMode> modes[] = {make(), make()};
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    const auto sample = makeSample(metres(0, 0), now(), {step.accuracy, 90.0, step.speed});
    sample->calculatedSpeed = step.speed;
    sample->distance = step.distance;
    EXPECT_EQ(modes[i % 2]->detectIfInCarMode(*sample), step.car) << "step " << i;
    EXPECT_EQ(TRWalkingMode::carModeCount(), step.countAfter) << "step " << i;
  }
}

// Moving during a stay, one sample at a time: left (strong outdoor evidence more than 100 m
// from the stay, checked at most every 30 s), back at the stay, or stopped somewhere new.
TEST_F(ModesTest, VisitWalkingTellsLeavingFromReturningAndFromANewStop) {
  const struct {
    const char* name;
    bool indoor;
    double wentOutside;
    double fromStay;                   // metres
    std::optional<double> checkedAgo;  // the previous departure check, seconds ago
    TRMode expected;
  } cases[] = {
      {"outdoors with evidence of 5", false, 5.0, 150.0, {}, TRModeVisitWalking},
      {"outdoors with more", false, 5.5, 150.0, {}, TRModeWalking},
      {"outdoors within 100 m", false, 5.5, 99.5, {}, TRModeVisitWalking},
      {"outdoors beyond 100 m", false, 5.5, 100.5, {}, TRModeWalking},
      {"checked 30 s ago", false, 5.5, 150.0, 30.0, TRModeVisitWalking},
      {"checked 31 s ago", false, 5.5, 150.0, 31.0, TRModeWalking},
      {"indoors at the stay", true, 0.0, 29.5, {}, TRModeVisit},
      {"indoors farther away", true, 0.0, 30.5, {}, TRModeBurst},
  };
  const Coordinate stay = metres(0, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    context().wentOutside = c.wentOutside;
    context().lastGeocodedPoint = stay;
    context().setLastWalkingDetectedOn(now());
    const auto mode = std::dynamic_pointer_cast<TRVisitWalkingMode>(
        TRAbstractMode::modeFor(TRModeVisitWalking, analyzer, analyzer->locationAnalyzerContext()));
    if (c.checkedAgo) {
      mode->lastVisitEndCheckLocation = Location(stay, 0.0, 5.0, -1.0, -1.0, -1.0,
                                                 now().dateByAddingTimeInterval(-*c.checkedAgo));
    }
    // Too poor a fix to count as outdoors on its own when indoors.
    const auto sample =
        makeSample(testing::chordNorthOf(stay, c.fromStay), now(), {100.0, -1.0, 0.0});
    sample->isIndoor = c.indoor;
    EXPECT_EQ(mode->processLocation(sample), c.expected);
    EXPECT_EQ(context().lastGeocodedPoint.isValid(), c.expected != TRModeWalking);
  }
}

// Leaving a stay on foot or by car is a departure; anything else is not. Entering a stay from a
// burst starts its outdoor evidence afresh.
TEST_F(ModesTest, StayModesReportDeparturesAndResetEvidenceOnlyOnTheirEdges) {
  const auto walking =
      TRAbstractMode::modeFor(TRModeVisitWalking, analyzer, analyzer->locationAnalyzerContext());
  for (const TRMode next : {TRModeWalking, TRModeCar, TRModeBurst, TRModeVisit, TRModeWifi})
    walking->willExitToMode(next);
  runUntilIdle();  // reported on the run loop
  EXPECT_EQ(recorder->story, (std::vector<std::string>{"0 departed 0", "0 departed 0"}));

  const auto visit =
      TRAbstractMode::modeFor(TRModeVisit, analyzer, analyzer->locationAnalyzerContext());
  context().locations.push_back(makeSample(metres(0, 0), now()));
  context().wentOutside = 7.0;
  visit->willEnterModeFrom(TRModeVisitWalking, {});
  EXPECT_EQ(context().wentOutside, 7.0);
  visit->willEnterModeFrom(TRModeBurst, std::vector<std::shared_ptr<TRVellLocation>>{});
  EXPECT_EQ(context().wentOutside, 0.0);
}

TEST_F(ModesTest, AModeGoneWithItsTimerPendingIsNeverCalledBack) {
  auto burst = TRAbstractMode::modeFor(TRModeBurst, analyzer, analyzer->locationAnalyzerContext());
  context().locations.push_back(makeSample(metres(0, 0), now()));
  burst->willEnterModeFrom(TRModeWalking, {});
  burst.reset();
  advanceBy(60.0);
  EXPECT_TRUE(recorder->modes.empty());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
}

using ContextTest = testing::PlatformTest;

// Each row is a fresh context: an anchor `anchorAge` seconds old at the origin and the current
// sample 5 m away.
TEST_F(ContextTest, IsOutdoorsWeighsTheEvidenceInOrder) {
  struct Case {
    const char* name;
    std::optional<double> walkedAgo;  // seconds; none: never
    bool indoor;
    double wentOutside;
    double anchorAge;
    double accuracy;
    std::optional<double> wifiLostSecondsAgo;
    bool expected;
  };
  const Case cases[] = {
      {"no walking reported", std::nullopt, false, 100.0, 10.0, 5.0, 0.0, false},
      {"walked two minutes ago", 120.0, false, 100.0, 10.0, 5.0, 0.0, false},
      {"outdoor sample", 119.0, false, 0.0, 500.0, 100.0, std::nullopt, true},
      {"little evidence", 119.0, true, 2.9, 121.0, 30.0, std::nullopt, false},
      {"enough went outside", 119.0, true, 3.0, 121.0, 30.0, std::nullopt, true},
      {"recent anchor", 119.0, true, 0.0, 120.0, 64.9, std::nullopt, true},
      {"recent anchor poor fix", 119.0, true, 0.0, 120.0, 65.0, std::nullopt, false},
      {"old anchor", 119.0, true, 0.0, 120.5, 5.0, std::nullopt, false},
      {"wifi just lost", 119.0, true, 0.0, 500.0, 100.0, 180.0, true},
      {"wifi lost long ago", 119.0, true, 0.0, 500.0, 100.0, 181.0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TRLocationAnalyzerContext fresh{TRGeofencesManager::make()};
    if (c.walkedAgo) fresh.setLastWalkingDetectedOn(now().dateByAddingTimeInterval(-*c.walkedAgo));
    fresh.wentOutside = c.wentOutside;
    if (c.wifiLostSecondsAgo) {
      fresh.lastWifiDisconnectedDate = now().dateByAddingTimeInterval(-*c.wifiLostSecondsAgo);
    }
    fresh.locations.push_back(
        makeSample(metres(0, 0), now().dateByAddingTimeInterval(-c.anchorAge)));
    const auto current = makeSample(metres(0, 5), now(), {c.accuracy, -1.0, 0.0});
    current->isIndoor = c.indoor;
    fresh.locations.push_back(current);
    EXPECT_EQ(fresh.isOutdoors(*current), c.expected);
  }
}

// Walked into a building: an indoor sample, an anchor at least 15 s old and five indoor samples.
TEST_F(ContextTest, IsWalkedIndoorsNeedsAllThreeSigns) {
  const struct {
    const char* name;
    bool indoor;
    double anchorAge;
    std::size_t indoorSamples;
    bool expected;
  } cases[] = {{"all three", true, 15.0, 5, true},
               {"anchor too recent", true, 14.5, 5, false},
               {"too few indoor samples", true, 15.0, 4, false},
               {"an outdoor sample", false, 15.0, 5, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRLocationAnalyzerContext fresh{TRGeofencesManager::make()};
    fresh.locations.push_back(
        makeSample(metres(0, 0), now().dateByAddingTimeInterval(-c.anchorAge)));
    for (std::size_t i = 0; i < c.indoorSamples; ++i)
      fresh.indoorArray.push_back(makeSample(metres(0, 1), now()));
    const auto current = makeSample(metres(0, 5), now(), testing::kIndoors);
    current->isIndoor = c.indoor;
    fresh.locations.push_back(current);
    EXPECT_EQ(fresh.isWalkedIndoors(*current), c.expected);
  }
}

TEST_F(ContextTest, LastWalkingDetectedOnIsSafeToWriteFromAnotherThread) {
  TRLocationAnalyzerContext context{TRGeofencesManager::make()};
  std::thread writer([&] {
    for (int i = 0; i < 1000; ++i)
      context.setLastWalkingDetectedOn(Date(1000.0 + i));
  });
  for (int i = 0; i < 1000; ++i)
    EXPECT_GE(context.lastWalkingDetectedOn().value_or(Date(1000.0)), Date(1000.0));
  writer.join();
  EXPECT_EQ(context.lastWalkingDetectedOn(), Date(1999.0));
}

}  // namespace
}  // namespace trevalo
