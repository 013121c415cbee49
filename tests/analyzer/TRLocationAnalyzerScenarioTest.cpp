// Scripted days in virtual time: fixes every 5 s, activity reports and Wi-Fi names, walking the
// analyzer through its transitions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AnalyzerTestSupport.h"
#include "utils/TRUtils.h"

namespace trevalo {
namespace {

using testing::chordNorthOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::kIndoors;
using testing::metres;
using ::testing::Not;

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

TEST_F(ScenarioTest, ADayWithAStayAndADeparture) {
  arrive();
  EXPECT_EQ(context().lastGeocodedPoint, home);

  // Indoors for a while: nothing changes.
  stay(home, 110.0);

  // Walking away at 400 s: outdoors at once, then departure checks at 430 s (42 m), 465 s
  // (91 m) and 500 s (140 m), the last confirming it.
  walkOut(home, 100.0);
  runUntilIdle();
  EXPECT_THAT(recorder->story,
              ElementsAre("125 mode 1", "230 mode 2", "230 geocode", "290 mode 4", "290 send 51",
                          "405 mode 5", "500 mode 1", "500 departed 500"));
  EXPECT_FALSE(context().lastGeocodedPoint.isValid());
}

TEST_F(ScenarioTest, BackIndoorsNearTheStayResumesItFartherAwayStartsANewOne) {
  // 20 m away the stay resumes. 40 m away a new one starts; walking was reported and the user
  // arrived less than two minutes ago, so the new visit gives way to visit-walking at once and
  // comes back.
  const std::pair<double, std::vector<TRMode>> cases[] = {
      {20.0, {TRModeWalking, TRModeBurst, TRModeVisit, TRModeVisitWalking, TRModeVisit}},
      {40.0,
       {TRModeWalking, TRModeBurst, TRModeVisit, TRModeVisitWalking, TRModeBurst, TRModeVisit,
        TRModeVisitWalking, TRModeVisit}}};
  for (const auto& [distance, modes] : cases) {
    SCOPED_TRACE(::testing::Message() << distance << " m from the stay");
    SetUpAnalyzer();
    arrive();
    stay(home, 110.0);
    walkOut(home, 5.0);
    stayUntil(TRModeVisit, chordNorthOf(home, distance), 260.0);
    EXPECT_EQ(recorder->modes, modes);
    EXPECT_THAT(recorder->story, Not(Contains(HasSubstr("departed"))));
    EXPECT_EQ(context().lastGeocodedPoint, chordNorthOf(home, distance));
  }
}

TEST_F(ScenarioTest, WifiHoldsTheStayUntilTheNetworkIsLeft) {
  walk(metres(0, 0), home, 200.0);
  stayUntil(TRModeBurst, home, 60.0);
  // Joining a network during the burst changes nothing yet; the first sample of the visit
  // notices it, although the user is indoors.
  platform().wifiNetworkNameText().set("Home");
  analyzer->processLastWifiNameAndDate();
  stay(home, 55.0);
  advanceBy(5.0);
  ASSERT_EQ(analyzer->currentMode(), TRModeVisit);
  feed(home, kIndoors);
  EXPECT_EQ(analyzer->currentMode(), TRModeWifi);

  // Samples, even outdoors and far away, and checks that find the same network keep it.
  walkOut(home, 60.0);
  analyzer->processLastWifiNameAndDate();
  EXPECT_EQ(analyzer->currentMode(), TRModeWifi);
  // Dropping off the network is leaving it.
  platform().wifiNetworkNameText().set(std::nullopt);
  analyzer->processLastWifiNameAndDate();
  EXPECT_EQ(analyzer->currentMode(), TRModeVisitWalking);
  EXPECT_THAT(recorder->story, Not(Contains(HasSubstr("departed"))));
}

TEST_F(ScenarioTest, ThreeFastAccurateSamplesMeanDrivingUntilWalkingIsReported) {
  walk(metres(0, 0), metres(0, 200), 130.0);
  walk(metres(0, 200), metres(0, 425), 15.0, 5.0, kDriving);
  EXPECT_EQ(analyzer->currentMode(), TRModeCar);
  // Driving on does not count: the car mode only waits for walking.
  walk(metres(0, 425), metres(0, 1175), 50.0, 5.0, kDriving);
  EXPECT_EQ(TRWalkingMode::carModeCount(), 3.0);
  analyzer->processActivityChange(1);
  EXPECT_EQ(analyzer->currentMode(), TRModeCar) << "only walking ends the drive";
  analyzer->processActivityChange(TRLocationAnalyzer::kWalkingActivity);
  EXPECT_EQ(analyzer->currentMode(), TRModeWalking);
  // The count was kept: the first fast sample is driving again.
  walk(metres(0, 1175), metres(0, 1250), 5.0, 5.0, kDriving);
  EXPECT_EQ(analyzer->currentMode(), TRModeCar);
  EXPECT_EQ(recorder->modes,
            (std::vector<TRMode>{TRModeWalking, TRModeCar, TRModeWalking, TRModeCar}));
}

TEST_F(ScenarioTest, ARegionExitSwitchesToVisitWalkingFromAnyModeAndCancelsPendingTimers) {
  for (const TRMode mode : {TRModeInitial, TRModeWalking, TRModeBurst, TRModeCar, TRModeVisit,
                            TRModeVisitWalking, TRModeGeofence, TRModeWifi}) {
    SCOPED_TRACE(TRUtils::strForMode(mode));
    SetUpAnalyzer();
    for (int i = 0; i < 5; ++i) {
      advanceBy(1.0);
      feed(metres(0, 50.0 * i));
    }
    analyzer->changeModeTo(mode);
    advanceBy(30.0);
    analyzer->processRegionExit();
    EXPECT_EQ(recorder->story.back(), "35 mode 5");
    // No burst or initial timer survives the switch, and no departure is reported.
    const std::size_t told = recorder->story.size();
    advanceBy(120.0);
    EXPECT_EQ(recorder->story.size(), told);
  }
}

}  // namespace
}  // namespace trevalo
