// Start, launch, pause, resume and timed updates, seen by the location manager, the stored
// flags and options, and the delegate.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "FacadeTestSupport.h"
#include "platform/ArchiveRegistry.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/utils/TRConstants.h"
#include "trevalo/utils/TRLogger.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::metres;

std::shared_ptr<TRFilter> filter(const char* category, double radius) {
  auto made = std::make_shared<TRFilter>();
  made->venueCategory = category;
  made->venueName = std::string("name of ") + category;
  made->addressId = std::string("address of ") + category;
  made->radius = radius;
  return made;
}

class LifecycleTest : public testing::FacadeTest {
 protected:
  // The options kept for the next launch, read as a later process would.
  std::optional<TROptions> storedOptions() const {
    platform::ArchiveRegistry::shared().registerClass<TRFilter>();
    return TRUtils::options();
  }
  std::size_t timedUpdatesWithin(double seconds) {
    const std::size_t before = delegate->locations.size();
    advanceBy(seconds);
    return delegate->locations.size() - before;
  }
};

TEST_F(LifecycleTest, StartRunsItsSequenceInOrderAndKeepsFlagAndOptions) {
  std::vector<std::string> lines;
  TRLogger::instance()->setSink(
      [&](std::string_view message, std::string_view, double) { lines.emplace_back(message); });
  start();
  TRLogger::instance()->setSink(nullptr);

  // Authorisation, then the keep-alive loop's first tick (the unset machine's all-zero
  // record), then the Initial strategy, then the location work of the start itself.
  EXPECT_THAT(locationManager().calls(),
              ElementsAre("requestAlwaysAuthorization", "allowsBackgroundLocationUpdates=true",
                          "distanceFilter=0", "activityType=0", "desiredAccuracy=0",
                          "pausesLocationUpdatesAutomatically=false", "distanceFilter=4",
                          "activityType=3", "desiredAccuracy=10",
                          "pausesLocationUpdatesAutomatically=false", "startUpdatingHeading",
                          "headingFilter=1", "startUpdatingLocation", "startUpdatingHeading",
                          "headingFilter=5", "startMonitoringSignificantLocationChanges"));
  EXPECT_EQ(locationManager().headingFilter(), 5.0);
  EXPECT_EQ(machine().currentStrategyType(), StrategyTypeInitial);
  EXPECT_TRUE(trevalo->isRunning());
  EXPECT_TRUE(trevalo->isCompassOn());
  EXPECT_EQ(client->apiKey(), "token");
  EXPECT_TRUE(TRUtils::wasRunning());
  EXPECT_EQ(storedOptions(), std::nullopt);
  EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 8),
              ElementsAre("algorithm on", "logger and debug off", "logger off", "tracemoor off",
                          "sending data on", "heading on", "heading collection on",
                          "nslogger heartbeat off"));

  // A second start while running repeats only what is not location work.
  locationManager().clearCalls();
  start(TROptions{{TROptionWhenInUseOnly, true}});
  EXPECT_THAT(locationManager().calls(), ElementsAre("requestWhenInUseAuthorization"));
  EXPECT_EQ(storedOptions(), (TROptions{{TROptionWhenInUseOnly, true}}));
}

TEST_F(LifecycleTest, AuthorisationCallsTheManagerDoesNotOfferAreSkipped) {
  locationManager().setOffersAuthorizationRequests(false);
  locationManager().setOffersBackgroundLocationUpdates(false);
  start();
  EXPECT_EQ(locationManager().calls().front(), "distanceFilter=0");
  EXPECT_FALSE(locationManager().allowsBackgroundLocationUpdates());
}

TEST_F(LifecycleTest, OptionsAreReadLeniently) {
  auto venue = std::make_shared<TRVenue>();
  const struct {
    const char* name;
    TROptions options;
    bool accepted;
    std::optional<std::size_t> filterCount;
  } cases[] = {
      {"no filter option", {}, true, std::nullopt},
      {"a null filter option", {{TROptionFilter, nullptr}}, true, std::nullopt},
      {"an empty JSON list", {{TROptionFilter, Json::array()}}, true, 0},
      {"an empty list of filters",
       {{TROptionFilter, std::vector<std::shared_ptr<TRFilter>>{}}},
       true,
       0},
      {"two filters",
       {{TROptionFilter, std::vector{filter("food", 0), filter("bar", 50)}}},
       true,
       2},
      {"a text", {{TROptionFilter, "food"}}, false, std::nullopt},
      {"a JSON list of maps",
       {{TROptionFilter, Json::array({{{"venue_name", "x"}}})}},
       false,
       std::nullopt},
      {"a list with a venue", {{TROptionFilter, std::vector{venue}}}, false, std::nullopt},
      {"a list with a null filter",
       {{TROptionFilter, std::vector<std::shared_ptr<TRFilter>>{nullptr}}},
       false,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.accepted) {
      EXPECT_NO_THROW(trevalo->startWithApiToken("token", delegate, c.options));
      ASSERT_EQ(trevalo->filters().has_value(), c.filterCount.has_value());
      if (c.filterCount) {
        EXPECT_EQ(trevalo->filters()->size(), *c.filterCount);
      }
    } else {
      try {
        trevalo->startWithApiToken("token", delegate, c.options);
        ADD_FAILURE() << "no exception";
      } catch (const Exception& e) {
        EXPECT_EQ(e.name(), Exception::kInvalidArgument);
        EXPECT_STREQ(e.what(), "TROptionFilter option must be an array of TRFilter objects");
      }
    }
    runUntilIdle();
  }
}

TEST_F(LifecycleTest, AFilterOptionOfTheWrongKindStartsNothingAndIsNotKept) {
  try {
    trevalo->startWithApiToken("token", delegate, TROptions{{TROptionFilter, "food"}});
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), Exception::kInvalidArgument);
  }
  runUntilIdle();
  EXPECT_FALSE(trevalo->isRunning());
  EXPECT_FALSE(locationManager().isUpdatingLocation());
  EXPECT_FALSE(TRUtils::wasRunning());
  EXPECT_EQ(storedOptions(), std::nullopt);
}

TEST_F(LifecycleTest, TimedUpdatesFollowTheIntervalOption) {
  const struct {
    double interval;
    bool raises;
    std::size_t updatesIn10Seconds;
  } cases[] = {{0.0005, false, 0}, {0.5, true, 0}, {1.0, false, 10}, {2.5, false, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.interval);
    relaunch();
    start();
    deliver(metres(0, 0));
    const TROptions options{{TROptionTimedUpdatesInterval, c.interval}};
    if (c.raises) {
      try {
        trevalo->startWithApiToken("token", delegate, options);
        ADD_FAILURE() << "no exception";
      } catch (const Exception& e) {
        EXPECT_EQ(e.name(), Trevalo::kTimedUpdatesIntervalException);
        EXPECT_EQ(e.reason(), "");
      }
    } else {
      trevalo->startWithApiToken("token", delegate, options);
    }
    runUntilIdle();
    EXPECT_EQ(timedUpdatesWithin(10.0), c.updatesIn10Seconds);
    EXPECT_EQ(trevalo->callbackInterval(), c.interval > 0.001 ? c.interval : 0.0);
  }
  EXPECT_THROW(trevalo->scheduleTimedUpdates(0.999), Exception);
  EXPECT_THROW(trevalo->scheduleTimedUpdates(std::nan("")), Exception);
}

TEST_F(LifecycleTest, ASecondStartReplacesTheTimerInsteadOfAddingOne) {
  start(TROptions{{TROptionTimedUpdatesInterval, 10.0}});
  deliver(metres(0, 0));
  start(TROptions{{TROptionTimedUpdatesInterval, 10.0}});
  EXPECT_EQ(timedUpdatesWithin(30.0), 3u);
  // The best location each time.
  EXPECT_EQ(delegate->locations.back().coordinate(), metres(0, 0));
}

TEST_F(LifecycleTest, RefusedOptionsLeaveTheKeptOnesForTheNextLaunch) {
  const TROptions good{{TROptionTimedUpdatesInterval, 30.0},
                       {TROptionFilter, std::vector{filter("food", 25.0)}}};
  const TROptions refused[] = {
      {{TROptionFilter, 42}},
      {{TROptionTimedUpdatesInterval, 0.5}, {TROptionWhenInUseOnly, true}},
  };
  for (const auto& options : refused) {
    relaunch();
    trevalo->startWithApiToken("token", delegate, good);
    runUntilIdle();
    EXPECT_THROW(trevalo->startWithApiToken("token", delegate, options), Exception);
    runUntilIdle();
    EXPECT_EQ(storedOptions(), good);

    relaunch();
    EXPECT_NO_THROW(trevalo->handleAppLaunch("token", delegate));
    runUntilIdle();
    EXPECT_TRUE(trevalo->isRunning());
    EXPECT_EQ(trevalo->callbackInterval(), 30.0);
  }
}

TEST_F(LifecycleTest, ALaunchRestartsWithTheKeptOptionsOnlyWhenTheSdkWasRunning) {
  // A fresh installation: nothing starts.
  trevalo->handleAppLaunch("token", delegate);
  runUntilIdle();
  EXPECT_FALSE(trevalo->isRunning());
  EXPECT_TRUE(locationManager().calls().empty());

  start(TROptions{{TROptionFilter, std::vector{filter("food", 25.0), filter("bar", 0.0)}},
                  {TROptionUseiOSMotionActivity, true},
                  {"_DEBUG_MODE", 4}});
  relaunch();
  trevalo->handleAppLaunch("token-2", delegate);
  runUntilIdle();
  EXPECT_TRUE(trevalo->isRunning());
  EXPECT_EQ(client->apiKey(), "token-2");
  const auto filters = trevalo->filters();
  ASSERT_TRUE(filters.has_value());
  ASSERT_EQ(filters->size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const auto expected = i == 0 ? filter("food", 25.0) : filter("bar", 0.0);
    EXPECT_EQ((*filters)[i]->description(), expected->description());
  }
  // The classifier option came back too: the classifier runs instead of the accelerometer.
  EXPECT_EQ(platform().motionSensors().motionActivityManagersMade(), 1u);
  EXPECT_EQ(platform().motionSensors().motionManagersMade(), 0u);

  trevalo->pause();
  relaunch();
  trevalo->handleAppLaunch("token", delegate);
  runUntilIdle();
  EXPECT_FALSE(trevalo->isRunning());
  EXPECT_TRUE(locationManager().calls().empty());
}

TEST_F(LifecycleTest, PauseStopsEverythingAndRemovesEverySleepRegion) {
  start(TROptions{{TROptionTimedUpdatesInterval, 30.0}});
  deliver(metres(0, 0));
  for (const char* identifier : {"tr_geofence0", "tr_geofence1", "tr_geofence2", "shop-1"}) {
    locationManager().startMonitoringForRegion({metres(0, 0), 16.0, identifier});
  }
  TRUtils::saveGeofenceState(true);
  trevalo->pause();
  runUntilIdle();

  EXPECT_FALSE(trevalo->isRunning());
  EXPECT_FALSE(locationManager().isUpdatingLocation());
  EXPECT_FALSE(locationManager().isUpdatingHeading());
  EXPECT_FALSE(locationManager().isMonitoringSignificantLocationChanges());
  ASSERT_EQ(locationManager().monitoredRegions().size(), 1u);
  EXPECT_EQ(locationManager().monitoredRegions()[0].identifier, "shop-1");
  EXPECT_EQ(machine().currentStrategyType(), StrategyTypeUnset);
  EXPECT_TRUE(platform().application().activeBackgroundTasks().empty());
  EXPECT_EQ(platform().motionSensors().motionManager()->isAccelerometerActive(), false);
  EXPECT_FALSE(TRUtils::wasRunning());
  EXPECT_FALSE(TRUtils::geofenceOn());
  EXPECT_EQ(timedUpdatesWithin(60.0), 0u);

  // Resume brings back the 30-second updates.
  EXPECT_EQ(trevalo->resume(), std::nullopt);
  EXPECT_TRUE(trevalo->isRunning());
  EXPECT_TRUE(TRUtils::wasRunning());
  EXPECT_EQ(timedUpdatesWithin(60.0), 2u);
}

TEST_F(LifecycleTest, ResumeNeedsATokenAndNeverRunsARefusedInterval) {
  const auto error = trevalo->resume();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->domain(), "Trevalo");
  EXPECT_EQ(error->code(), -9998);
  runUntilIdle();
  EXPECT_FALSE(trevalo->isRunning());
  EXPECT_TRUE(locationManager().calls().empty());

  start();
  deliver(metres(0, 0));
  EXPECT_THROW(trevalo->scheduleTimedUpdates(-5.0), Exception);
  trevalo->pause();
  runUntilIdle();
  EXPECT_EQ(trevalo->resume(), std::nullopt);
  runUntilIdle();
  EXPECT_EQ(trevalo->callbackInterval(), -5.0);
  EXPECT_EQ(timedUpdatesWithin(5.0), 0u);
}

TEST_F(LifecycleTest, PauseThenResumeEndsInTheInitialStrategyWhateverTheThreads) {
  // Each of the two calls is made on the run loop or from another thread.
  for (const bool pauseElsewhere : {false, true}) {
    for (const bool resumeElsewhere : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "pause elsewhere " << pauseElsewhere
                                        << ", resume elsewhere " << resumeElsewhere);
      relaunch();
      start();
      machine().changeStrategy(StrategyTypeLowWalking, {});
      if (pauseElsewhere) {
        std::thread([&] { trevalo->pause(); }).join();
      } else {
        trevalo->pause();
      }
      if (resumeElsewhere) {
        std::thread([&] { EXPECT_EQ(trevalo->resume(), std::nullopt); }).join();
      } else {
        EXPECT_EQ(trevalo->resume(), std::nullopt);
      }
      runUntilIdle();
      EXPECT_EQ(machine().currentStrategyType(), StrategyTypeInitial);
      EXPECT_TRUE(trevalo->isRunning());
      EXPECT_TRUE(locationManager().isUpdatingLocation());
      EXPECT_EQ(platform().application().activeBackgroundTasks().size(), 1u);
    }
  }
}

TEST_F(LifecycleTest, ACustomSettingTakesEffectAtTheNextStrategyChange) {
  start();
  trevalo->applyOperationMode(TRSetting(TRSettingTypeMedium));
  EXPECT_EQ(locationManager().desiredAccuracy(), 10.0);
  machine().changeStrategy(StrategyTypeHighWalking, {});  // the test's own context: no setting
  EXPECT_EQ(locationManager().desiredAccuracy(), -1.0);
  machine().forceStateChange();  // reads the facade's context: the setting applies
  EXPECT_EQ(locationManager().desiredAccuracy(), 100.0);
  EXPECT_EQ(locationManager().distanceFilter(), 10.0);
  EXPECT_FALSE(trevalo->isCompassOn());
  trevalo->applyOperationMode(std::nullopt);
  EXPECT_EQ(trevalo->currentSetting(), std::nullopt);
}

TEST_F(LifecycleTest, AContextMustHoldTheCollaboratorsTheFacadeCannotDoWithout) {
  auto partial = std::make_shared<TRContext>(context->locationManager, context->analyzeLocations,
                                             context->networkClient, context->device,
                                             context->extraInfoCollector, nullptr);
  EXPECT_THROW(Trevalo::initWithContext(partial), Exception);
  EXPECT_THROW(Trevalo::initWithContext(nullptr), Exception);

  // Without a keep-alive loop and a state machine the facade runs, applying no strategy.
  partial->visitsQueue = context->visitsQueue;
  trevalo = Trevalo::initWithContext(partial);
  recordStrategies();
  start();
  EXPECT_TRUE(trevalo->isRunning());
  EXPECT_TRUE(locationManager().isUpdatingLocation());
  EXPECT_TRUE(appliedStrategies.empty());
}

TEST_F(LifecycleTest, TheSharedFacadeIsMadeOnceWhicheverAccessorComesFirst) {
  const auto shared = Trevalo::sharedInstance();
  const auto other = std::make_shared<TRContext>(client);
  EXPECT_EQ(Trevalo::sharedInstanceWithContext(other), shared);
  EXPECT_NE(shared->trContext(), other);
  EXPECT_EQ(shared->trContext()->networkClient, TRNetworkClient::instance());
  EXPECT_EQ(Trevalo::sharedInstance(), shared);
}

}  // namespace
}  // namespace trevalo
