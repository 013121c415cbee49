// Strategies applied to the location manager: the settings and their order, the compass, the
// keep-alive tick, the decision context with its debug options, and geofence sleep.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "FacadeTestSupport.h"
#include "trevalo/utils/TRConstants.h"
#include "trevalo/utils/TRLogger.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::metres;

class StrategiesTest : public testing::FacadeTest {
 protected:
  void change(StrategyType type) {
    locationManager().clearCalls();
    machine().changeStrategy(type, {});
  }
  // The heading texts the facade logs meanwhile.
  std::vector<std::string> headingLines;
  void recordHeadingLines() {
    TRLogger::instance()->setSink([this](std::string_view message, std::string_view, double) {
      if (message.starts_with("heading force")) headingLines.emplace_back(message);
    });
  }
  void TearDown() override {
    TRLogger::instance()->setSink(nullptr);
    FacadeTest::TearDown();
  }
};

// Each change's settings in order; the compass follows the strategy, and its filter only while
// on; leaving Off starts location updates again after the settings.
TEST_F(StrategiesTest, EachChangeAppliesItsSettingsInOrder) {
  start();
  recordHeadingLines();
  const std::string settings = "activityType=3 desiredAccuracy=";
  const std::pair<StrategyType, std::string> changes[] = {
      {StrategyTypeOff, "stopUpdatingLocation"},
      {StrategyTypeLowWalking,
       "distanceFilter=4 " + settings + "10 P startUpdatingLocation headingFilter=1"},
      {StrategyTypeCar, "distanceFilter=999 " + settings + "3000 P stopUpdatingHeading"},
      {StrategyTypeHighWalking,
       "distanceFilter=1 " + settings + "-1 P startUpdatingHeading headingFilter=1"},
      {StrategyTypeCar, "distanceFilter=999 " + settings + "3000 P stopUpdatingHeading"},
  };
  for (const auto& [type, expected] : changes) {
    SCOPED_TRACE(TRUtils::strForStrategy(type));
    change(type);
    std::string calls;
    for (const auto& call : locationManager().calls())
      calls += (calls.empty() ? "" : " ") +
               (call == "pausesLocationUpdatesAutomatically=false" ? "P" : call);
    EXPECT_EQ(calls, expected);
    if (type == StrategyTypeOff) {
      // Off keeps no timer: nothing moves on by itself.
      advanceBy(600.0);
      EXPECT_EQ(machine().currentStrategyType(), StrategyTypeOff);
    }
  }
  EXPECT_EQ(locationManager().headingFilter(), 1.0);
  EXPECT_THAT(headingLines,
              ElementsAre("heading force off", "heading force on", "heading force off"));
}

TEST_F(StrategiesTest, EachKeepAliveTickReappliesTheCurrentStrategyAndZerosWhenUnset) {
  start();
  std::vector<std::string> strategies;
  recordStrategies(strategies);
  change(StrategyTypeCar);
  locationManager().clearCalls();
  advanceBy(17.0);
  EXPECT_THAT(locationManager().calls(),
              ElementsAre("distanceFilter=999", "activityType=3", "desiredAccuracy=3000",
                          "pausesLocationUpdatesAutomatically=false"));
  change(StrategyTypeHighWalking);
  machine().stopAndClearCurrentState();
  runUntilIdle();
  locationManager().clearCalls();
  advanceBy(17.0);
  EXPECT_THAT(locationManager().calls(),
              ElementsAre("distanceFilter=0", "activityType=0", "desiredAccuracy=0",
                          "pausesLocationUpdatesAutomatically=false", "stopUpdatingHeading"));
  EXPECT_THAT(strategies,
              ElementsAre("strategy StrategyTypeCar", "strategy StrategyTypeCar",
                          "strategy StrategyTypeHighWalking", "strategy StrategyTypeUnset"));
}

TEST_F(StrategiesTest, DecisionsReadTheAnalyzerUnlessTheDebugOptionsSayOtherwise) {
  const struct {
    const char* name;
    TROptions options;
    StrategyType next;
  } cases[] = {
      {"the analyzer's initial mode", {}, StrategyTypeInitial},
      {"visit, not moved", {{"_DEBUG_MODE", 4}}, StrategyTypeBuildingModeStill},
      {"visit, moved",
       {{"_DEBUG_MODE", 4}, {"_DEBUG_MOVED", true}},
       StrategyTypeBuildingModeMovingLow},
      {"visit, moved as a number",
       {{"_DEBUG_MODE", 4.9}, {"_DEBUG_MOVED", 2}},
       StrategyTypeBuildingModeMovingLow},
      {"walking, cut to 32 bits", {{"_DEBUG_MODE", 4294967297.0}}, StrategyTypeLowWalking},
      {"a mode as text is no number", {{"_DEBUG_MODE", "4"}}, StrategyTypeInitial},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    relaunch();
    start(c.options);
    machine().forceStateChange();
    EXPECT_EQ(machine().currentStrategyType(), c.next);
  }
}

// Longitudes widen with the latitude and wrap round the antimeridian.
TEST_F(StrategiesTest, SleepPutsSixSmallRegionsAroundTheLastFixAndStopsTheRest) {
  const double offset = 30.0 / 6372797.6 * 57.29577951308232;  // about 0.00027 degrees
  for (const Coordinate where : {Coordinate{0.0, 0.0}, Coordinate{60.0, 179.9999}}) {
    SCOPED_TRACE(where.longitude);
    relaunch();
    start(TROptions{{TROptionTimedUpdatesInterval, 10.0}});
    deliver(where);
    change(StrategyTypeGeofence);
    const auto regions = locationManager().monitoredRegions();
    ASSERT_EQ(regions.size(), 6u);
    for (int k = 0; k < 6; ++k) {
      const auto& region = regions[k];
      EXPECT_EQ(region.identifier, "tr_geofence" + std::to_string(k));
      EXPECT_EQ(region.radius, 16.0);
      EXPECT_NEAR(region.center.latitude, where.latitude + offset * std::cos(k * M_PI / 3), 1e-9);
      const double east = where.longitude + offset * std::sin(k * M_PI / 3) /
                                                std::cos(where.latitude / 57.29577951308232);
      EXPECT_NEAR(region.center.longitude, east < 180.0 ? east : east - 360.0, 1e-9);
    }
  }
  EXPECT_FALSE(locationManager().isUpdatingLocation());
  EXPECT_FALSE(locationManager().isUpdatingHeading());
  EXPECT_FALSE(locationManager().isMonitoringSignificantLocationChanges());
  EXPECT_TRUE(platform().application().activeBackgroundTasks().empty());
  EXPECT_FALSE(platform().motionSensors().motionManager()->isAccelerometerActive());
  EXPECT_TRUE(TRUtils::geofenceOn());
  EXPECT_TRUE(trevalo->isRunning());
  // No timed update and no tick; the decision the analyzer's initial timer forces meanwhile
  // keeps the sleep: only a region event ends it.
  const auto before = delegate->events.size();
  advanceBy(3600.0);
  EXPECT_NE(analyzer().currentMode(), TRModeInitial);
  EXPECT_EQ(machine().currentStrategyType(), StrategyTypeGeofence);
  EXPECT_EQ(delegate->events.size(), before);
  EXPECT_FALSE(locationManager().isUpdatingLocation());
  EXPECT_EQ(locationManager().monitoredRegions().size(), 6u);
}

TEST_F(StrategiesTest, WithoutAnyFixYetSleepWaitsForTheFirstOne) {
  start();
  change(StrategyTypeGeofence);
  EXPECT_THAT(locationManager().monitoredRegions(), IsEmpty());
  EXPECT_TRUE(locationManager().isUpdatingLocation());
  EXPECT_FALSE(TRUtils::geofenceOn());
  // The keep-alive tick re-applies the waiting sleep; it still waits.
  advanceBy(17.0);
  EXPECT_THAT(locationManager().monitoredRegions(), IsEmpty());

  deliver(metres(100, 100));
  ASSERT_EQ(locationManager().monitoredRegions().size(), 6u);
  EXPECT_NEAR(locationManager().monitoredRegions()[0].center.longitude, metres(100, 100).longitude,
              1e-12);
  EXPECT_FALSE(locationManager().isUpdatingLocation());

  // Another strategy before the first fix cancels a waiting sleep.
  relaunch();
  start();
  change(StrategyTypeGeofence);
  change(StrategyTypeCar);
  deliver(metres(0, 0));
  EXPECT_THAT(locationManager().monitoredRegions(), IsEmpty());
}

}  // namespace
}  // namespace trevalo
