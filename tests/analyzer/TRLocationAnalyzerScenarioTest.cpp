// Scripted days in virtual time: fixes every 5 s, activity reports and Wi-Fi names, walking the
// analyzer through its transitions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AnalyzerTestSupport.h"
#include "trevalo/analyzer/modes/TRWalkingMode.h"
#include "trevalo/analyzer/modes/TRWifiMode.h"
#include "trevalo/utils/TRUtils.h"

namespace trevalo {
namespace {

using testing::chordNorthOf;
using ::testing::ElementsAre;
using testing::kIndoors;
using testing::metres;

constexpr testing::FixKind kDriving{8.0, 90.0, 15.0};

class ScenarioTest : public testing::AnalyzerTest {
 protected:
  // The stay point of `arrive`: 280 m north of the origin.
  const Coordinate home = metres(0, 280);

  // 200 s on foot at 1.4 m/s from the origin to `home` (walking from 125 s on), then indoors
  // at `home` until the stay has begun: the burst starts at 230 s and the visit at 290 s.
  void arrive() {
    walk(metres(0, 0), home, 200.0);
    stayUntil(TRModeVisit, home, 120.0);
  }

  // Walking reported, then `seconds` on foot northwards from `from` at 1.4 m/s.
  void walkOut(Coordinate from, double seconds) {
    analyzer->processActivityChange(TRLocationAnalyzer::kWalkingActivity);
    walk(from, chordNorthOf(from, 1.4 * seconds), seconds);
  }
};

TEST_F(ScenarioTest, InitialModeLastsTwoMinutesWhateverArrives) {
  // Fast, accurate samples would mean driving and 70 m ones indoors; neither counts yet.
  walk(metres(0, 0), metres(0, 1800), 60.0, 5.0, kDriving);
  stay(metres(0, 1800), 60.0, 5.0, {70.0, -1.0, 0.0});
  EXPECT_TRUE(recorder->story().empty());
  advanceBy(5.0);
  EXPECT_THAT(recorder->story(), ElementsAre("125 mode 1"));
}

TEST_F(ScenarioTest, ADayWithAStayAndADeparture) {
  arrive();
  EXPECT_THAT(recorder->story(),
              ElementsAre("125 mode 1", "230 mode 2", "230 geocode", "290 mode 4", "290 send 51"));
  // The stop is geocoded at the sample that revealed it.
  EXPECT_EQ(recorder->geocoded.at(0)->timestamp(), now().dateByAddingTimeInterval(-60.0));
  // The stay's samples: the 40 before the stop (from 35 s on) and the burst's 11 (to 285 s).
  const auto& points = recorder->sentPoints.at(0);
  EXPECT_EQ(points.front()->timestamp().timeIntervalSinceDate(now()), 35.0 - 290.0);
  EXPECT_EQ(points.back()->timestamp().timeIntervalSinceDate(now()), -5.0);
  EXPECT_EQ(context().lastGeocodedPoint, home);
  EXPECT_EQ(context().wentOutside, 0.0);

  // Indoors for a while: nothing changes.
  stay(home, 110.0);
  EXPECT_EQ(recorder->story().size(), 5u);

  // Walking away at 400 s: outdoors at once, then departure checks at 430 s (42 m), 465 s
  // (91 m) and 500 s (140 m), the last confirming it.
  walkOut(home, 100.0);
  runUntilIdle();
  EXPECT_THAT(recorder->story(),
              ElementsAre("125 mode 1", "230 mode 2", "230 geocode", "290 mode 4", "290 send 51",
                          "405 mode 5", "500 mode 1", "500 departed 500"));
  EXPECT_FALSE(context().lastGeocodedPoint.isValid());
}

TEST_F(ScenarioTest, BackIndoorsNearTheStayResumesItFartherAwayStartsANewOne) {
  struct Case {
    double distance;
    std::vector<TRMode> modes;
    std::size_t stays;  // geocoded and sent
  };
  const Case cases[] = {
      {20.0, {TRModeWalking, TRModeBurst, TRModeVisit, TRModeVisitWalking, TRModeVisit}, 1},
      // Walking was reported and the user arrived less than two minutes ago, so the new visit
      // gives way to visit-walking at once and comes back.
      {40.0,
       {TRModeWalking, TRModeBurst, TRModeVisit, TRModeVisitWalking, TRModeBurst, TRModeVisit,
        TRModeVisitWalking, TRModeVisit},
       2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.distance << " m from the stay");
    TRWalkingMode::resetCarModeCount();
    SetUpAnalyzer();
    arrive();
    stay(home, 110.0);
    walkOut(home, 5.0);
    ASSERT_EQ(analyzer->currentMode(), TRModeVisitWalking);
    const Coordinate back = chordNorthOf(home, c.distance);
    stayUntil(TRModeVisit, back, 260.0);
    EXPECT_EQ(recorder->modes(), c.modes);
    EXPECT_EQ(recorder->count("geocode"), c.stays);
    EXPECT_EQ(recorder->count("send"), c.stays);
    EXPECT_EQ(recorder->count("departed"), 0u);
    EXPECT_EQ(context().lastGeocodedPoint, back);
  }
}

TEST_F(ScenarioTest, WifiHoldsTheStayUntilTheNetworkIsLeft) {
  recorder->operationToReturn = testing::opaqueOperation();
  walk(metres(0, 0), home, 200.0);
  stayUntil(TRModeBurst, home, 60.0);
  // Joining a network during the burst changes nothing yet; the first sample of the visit
  // notices it, although the user is indoors.
  platform().wifiNetworkNameText().set("Home");
  analyzer->processLastWifiNameAndDate();
  stay(home, 55.0);
  advanceBy(5.0);
  ASSERT_EQ(analyzer->currentMode(), TRModeVisit);
  EXPECT_TRUE(feed(home, kIndoors)->isIndoor);
  EXPECT_EQ(analyzer->currentMode(), TRModeWifi);
  const auto wifi = std::dynamic_pointer_cast<TRWifiMode>(analyzer->modes().at(TRModeWifi));
  EXPECT_EQ(wifi->operation, recorder->operationToReturn);

  // Samples, even outdoors and far away, and checks that find the same network keep it.
  walkOut(home, 60.0);
  analyzer->processLastWifiNameAndDate();
  EXPECT_EQ(analyzer->currentMode(), TRModeWifi);
  // Dropping off the network is leaving it.
  platform().wifiNetworkNameText().set(std::nullopt);
  analyzer->processLastWifiNameAndDate();
  EXPECT_EQ(analyzer->currentMode(), TRModeVisitWalking);
  EXPECT_EQ(context().lastWifiDisconnectedDate, now());
  EXPECT_EQ(recorder->count("departed"), 0u);
}

TEST_F(ScenarioTest, ThreeFastAccurateSamplesMeanDrivingUntilWalkingIsReported) {
  walk(metres(0, 0), metres(0, 200), 130.0);
  ASSERT_EQ(analyzer->currentMode(), TRModeWalking);
  walk(metres(0, 200), metres(0, 350), 10.0, 5.0, kDriving);
  EXPECT_EQ(analyzer->currentMode(), TRModeWalking);
  EXPECT_EQ(TRWalkingMode::carModeCount(), 2.0);
  walk(metres(0, 350), metres(0, 425), 5.0, 5.0, kDriving);
  EXPECT_EQ(analyzer->currentMode(), TRModeCar);
  // Driving on does not count: the car mode only waits for walking.
  walk(metres(0, 425), metres(0, 1175), 50.0, 5.0, kDriving);
  EXPECT_EQ(TRWalkingMode::carModeCount(), 3.0);
  analyzer->processActivityChange(1);
  EXPECT_EQ(analyzer->currentMode(), TRModeCar);
  analyzer->processActivityChange(TRLocationAnalyzer::kWalkingActivity);
  EXPECT_EQ(analyzer->currentMode(), TRModeWalking);
  // The count was kept: the first fast sample is driving again.
  walk(metres(0, 1175), metres(0, 1250), 5.0, 5.0, kDriving);
  EXPECT_EQ(analyzer->currentMode(), TRModeCar);
  EXPECT_EQ(TRWalkingMode::carModeCount(), 4.0);
  EXPECT_EQ(recorder->modes(),
            (std::vector<TRMode>{TRModeWalking, TRModeCar, TRModeWalking, TRModeCar}));
}

class RegionExitTest : public ScenarioTest, public ::testing::WithParamInterface<TRMode> {};

TEST_P(RegionExitTest, SwitchesToVisitWalkingFromAnyModeAndCancelsPendingTimers) {
  for (int i = 0; i < 5; ++i) {
    advanceBy(1.0);
    feed(metres(0, 50.0 * i));
  }
  analyzer->changeModeTo(GetParam());
  advanceBy(30.0);
  analyzer->processRegionExit();
  EXPECT_EQ(analyzer->currentMode(), TRModeVisitWalking);
  EXPECT_EQ(context().lastWalkingDetectedOn(), now());
  EXPECT_EQ(recorder->story().back(), "35 mode 5");
  // No burst or initial timer survives the switch, and no departure is reported.
  const std::size_t told = recorder->events.size();
  advanceBy(120.0);
  EXPECT_EQ(recorder->events.size(), told);
  EXPECT_EQ(analyzer->currentMode(), TRModeVisitWalking);
}

INSTANTIATE_TEST_SUITE_P(AllModes, RegionExitTest,
                         ::testing::Values(TRModeInitial, TRModeWalking, TRModeBurst, TRModeCar,
                                           TRModeVisit, TRModeVisitWalking, TRModeGeofence,
                                           TRModeWifi),
                         [](const auto& info) { return TRUtils::strForMode(info.param); });

TEST_F(ScenarioTest, TheSameDayGivesTheSameStoryEveryTime) {
  const auto runDay = [&] {
    arrive();
    stay(home, 110.0);
    walkOut(home, 100.0);
    analyzer->processRegionExit();
    walk(chordNorthOf(home, 140.0), metres(0, 0), 300.0);
    return recorder->story();
  };
  const auto first = runDay();
  // A new analyzer and delegate, a new process as far as the car count goes, 10 minutes later.
  advanceBy(600.0);
  TRWalkingMode::resetCarModeCount();
  SetUpAnalyzer();
  EXPECT_EQ(runDay(), first);
}

}  // namespace
}  // namespace trevalo
