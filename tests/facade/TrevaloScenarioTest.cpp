// Whole stories in virtual time, driven only through the facade's operations and the
// platform's stand-ins: what the application hears, what the service receives, and what the
// location manager is told.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FacadeTestSupport.h"
#include "trevalo/platform/simulated/MotionScript.h"

namespace trevalo {
namespace {

using testing::chordNorthOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::kIndoors;
using testing::metres;

const Json kCafe = {{"venue", {{"id", "v1"}, {"name", "Cafe"}}},
                    {"address", {{"id", "a1"}, {"country", "France"}}}};

class ScenarioTest : public testing::FacadeTest {
 protected:
  const Coordinate home = metres(0, 280);
  std::vector<std::string> strategies;

  // 200 s on foot from the origin to `home`, then indoors there until the stay has begun.
  void arrive() {
    walk(metres(0, 0), home, 200.0);
    stayUntil(TRModeVisit, home, 120.0);
  }
  std::vector<std::string> sleepRegions() const {
    std::vector<std::string> identifiers;
    for (const auto& region : locationManager().monitoredRegions()) {
      if (region.identifier.starts_with("tr_geofence")) identifiers.push_back(region.identifier);
    }
    return identifiers;
  }
  void expectTracking() const {
    EXPECT_THAT(sleepRegions(), IsEmpty());
    EXPECT_TRUE(locationManager().isUpdatingLocation());
    EXPECT_TRUE(locationManager().isMonitoringSignificantLocationChanges());
    EXPECT_EQ(platform().application().activeBackgroundTasks().size(), 1u);
    EXPECT_TRUE(platform().motionSensors().motionManager()->isAccelerometerActive());
    EXPECT_FALSE(TRUtils::geofenceOn());
  }
  void expectAsleepAround(Coordinate where) const {
    const auto regions = locationManager().monitoredRegions();
    ASSERT_EQ(regions.size(), 6u);
    EXPECT_NEAR(regions[0].center.longitude, where.longitude, 1e-12);
    EXPECT_NEAR(regions[0].center.latitude - where.latitude, 0.00027, 0.000005);
    EXPECT_FALSE(locationManager().isUpdatingLocation());
    EXPECT_TRUE(platform().application().activeBackgroundTasks().empty());
    EXPECT_TRUE(TRUtils::geofenceOn());
  }
};

TEST_F(ScenarioTest, TheRoadOfOneStay) {
  start();
  recordStrategies(strategies, true);

  // On foot, then a stop inside a building: the burst asks where the user stopped.
  walk(metres(0, 0), home, 200.0);
  stayUntil(TRModeBurst, home, 60.0);
  EXPECT_EQ(locationManager().desiredAccuracy(), -1.0);
  EXPECT_EQ(locationManager().distanceFilter(), -1.0);
  ASSERT_EQ(transport().pendingCount(), 1u);
  EXPECT_EQ(pathOf(transport().pendingRequests()[0].request.url).substr(0, 30),
            "/v1/geocode/reverse_geocode?la");
  answer(200, kCafe);
  ASSERT_THAT(delegate->notices(), ElementsAre("start Cafe"));
  EXPECT_FALSE(delegate->started[0]->arrivalDate.has_value());

  // A minute later the stay begins: its points go to the service, which names the place.
  stayUntil(TRModeVisit, home, 70.0);
  const Date stayBegan = now();
  ASSERT_EQ(transport().pendingCount(), 1u);
  const auto resolution = transport().pendingRequests()[0].request;
  EXPECT_EQ(resolution.httpMethod, "POST");
  EXPECT_EQ(pathOf(resolution.url), "/v1/geocode/reverse_geocode?api_token=token");
  const Json points = bodyOf(resolution)["points"];
  EXPECT_GT(points.size(), 40u);
  answer(200, kCafe);
  ASSERT_THAT(delegate->notices(), ElementsAre("start Cafe", "start Cafe"));
  EXPECT_EQ(delegate->started[1]->arrivalDate, stayBegan);
  EXPECT_EQ(locationManager().desiredAccuracy(), 3000.0);

  // Indoors a while, then walking away: the departure ends the visit. (Its log to the service:
  // VisitTrackerTest and the replayed example day.)
  walk(home, home, 100.0, 5.0, kIndoors);
  platform().motionSensors().setMotionScript(platform::MotionScript::walking(300.0));
  walk(home, chordNorthOf(home, 200.0), 140.0);
  runUntilIdle();
  ASSERT_THAT(delegate->notices(),
              ElementsAre("start Cafe", "start Cafe", "activity 2", "end Cafe"));
  const auto& ended = delegate->ended[0];
  EXPECT_EQ(ended->arrivalDate, stayBegan);
  ASSERT_TRUE(ended->departureDate.has_value());
  EXPECT_GT(*ended->departureDate, stayBegan.dateByAddingTimeInterval(100.0));

  // The strategies along the way: walking, the burst of the stop, the stay, the first steps
  // out of it, walking again.
  EXPECT_THAT(
      strategies,
      ElementsAre("strategy StrategyTypeLowWalking", "strategy StrategyTypeBurst",
                  "strategy StrategyTypeBuildingModeStill", "strategy StrategyTypeVisitWalkingLow",
                  "strategy StrategyTypeHighWalking", "strategy StrategyTypeLowWalking"));
}

TEST_F(ScenarioTest, ARelaunchFinishesThePendingVisitWork) {
  start();
  arrive();
  // The resolution is on its way when the process ends.
  ASSERT_EQ(transport().pendingCount(), 2u);
  relaunch();
  EXPECT_EQ(transport().sentCount(), 0u);
  trevalo->handleAppLaunch("token", delegate);
  runUntilIdle();
  EXPECT_TRUE(trevalo->isRunning());
  ASSERT_EQ(transport().pendingCount(), 1u);
  EXPECT_EQ(pathOf(transport().pendingRequests()[0].request.url),
            "/v1/geocode/reverse_geocode?api_token=token");
  answer(200, kCafe);
  EXPECT_THAT(delegate->notices(), ElementsAre("start Cafe"));
  EXPECT_TRUE(tracker().operationsQueue().empty());
}

// Woken from geofence sleep by a crossing out of a sleep region, or by a resume, the SDK
// tracks again and stays awake: ticks come, fixes are taken, and no tick puts it back to sleep.
TEST_F(ScenarioTest, ACrossingOrAResumeWakesTheSdkFromGeofenceSleepForGood) {
  for (const bool crossing : {true, false}) {
    SCOPED_TRACE(crossing ? "a crossing" : "a resume");
    relaunch();
    start();
    walk(metres(0, 0), metres(0, 50), 30.0);
    machine().changeStrategy(StrategyTypeGeofence, {});
    expectAsleepAround(metres(0, 50));
    strategies.clear();
    recordStrategies(strategies, true);
    advanceBy(600.0);
    if (crossing) {
      ASSERT_TRUE(locationManager().deliverRegionExit("tr_geofence2"));
    } else {
      EXPECT_EQ(trevalo->resume(), std::nullopt);
    }
    runUntilIdle();
    expectTracking();
    if (crossing) {
      EXPECT_THAT(delegate->notices(), ElementsAre("region exited region tr_geofence2"));
      EXPECT_THAT(strategies, ElementsAre("strategy StrategyTypeInitial",
                                          "strategy StrategyTypeVisitWalkingLow"));
      EXPECT_EQ(analyzer().currentMode(), TRModeVisitWalking);
    } else {
      EXPECT_THAT(strategies, ElementsAre("strategy StrategyTypeInitial"));
    }
    advanceBy(60.0);
    EXPECT_TRUE(deliver(metres(40, 50)));
    expectTracking();
    EXPECT_EQ(delegate->locations.back().coordinate(), metres(40, 50));
  }
}

TEST_F(ScenarioTest, InTheGeofenceDebugModeEveryDecisionSleepsAroundTheNewestPosition) {
  start(TROptions{{"_DEBUG_MODE", 6}});
  // The analyzer's first decision (walking, at 125 s) chooses Geofence.
  walk(metres(0, 0), metres(0, 200), 130.0);
  expectAsleepAround(delegate->locations.back().coordinate());

  // Woken, it has no position newer than the one it slept around: it tracks until one comes,
  // then sleeps again around that.
  ASSERT_TRUE(locationManager().deliverRegionEntry("tr_geofence0"));
  runUntilIdle();
  EXPECT_EQ(machine().currentStrategyType(), StrategyTypeGeofence);
  expectTracking();
  advanceBy(5.0);
  deliver(metres(0, 260));
  expectAsleepAround(metres(0, 260));
}

TEST_F(ScenarioTest, ACrossingAfterAPauseDoesNotStartTheSdk) {
  start();
  deliver(metres(0, 0));
  machine().changeStrategy(StrategyTypeGeofence, {});
  // A crossing already on its way when the application pauses.
  locationManager().deliverRegionExit("tr_geofence1");
  trevalo->pause();
  runUntilIdle();
  EXPECT_FALSE(trevalo->isRunning());
  EXPECT_FALSE(locationManager().isUpdatingLocation());
  EXPECT_THAT(sleepRegions(), IsEmpty());
  EXPECT_FALSE(TRUtils::wasRunning());
}

}  // namespace
}  // namespace trevalo
