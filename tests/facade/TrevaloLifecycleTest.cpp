// Start, launch, pause, resume and timed updates, seen by the location manager, the stored
// flags and options, and the delegate.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "FacadeTestSupport.h"
#include "platform/ArchiveRegistry.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/utils/TRConstants.h"
#include "trevalo/utils/TRLogger.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
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
  // The name of the Exception the start raises; empty when none.
  std::string startRaising(const TROptions& options) {
    try {
      trevalo->startWithApiToken("token", delegate, options);
      runUntilIdle();
      return "";
    } catch (const Exception& e) {
      runUntilIdle();
      EXPECT_STREQ(e.what(), e.name() == Exception::kInvalidArgument
                                 ? "TROptionFilter option must be an array of TRFilter objects"
                                 : Trevalo::kTimedUpdatesIntervalException);
      return e.name();
    }
  }
};

TEST_F(LifecycleTest, StartRunsItsSequenceInOrderAndKeepsFlagAndOptions) {
  std::vector<std::string> lines;
  TRLogger::instance()->setSink(
      [&](std::string_view message, std::string_view, double) { lines.emplace_back(message); });
  start();
  TRLogger::instance()->setSink(nullptr);
  // Authorisation, the keep-alive loop's first tick (the unset machine's all-zero record), the
  // Initial strategy, then the location work of the start itself.
  EXPECT_THAT(locationManager().calls(),
              ElementsAre("requestAlwaysAuthorization", "allowsBackgroundLocationUpdates=true",
                          "distanceFilter=0", "activityType=0", "desiredAccuracy=0",
                          "pausesLocationUpdatesAutomatically=false", "distanceFilter=4",
                          "activityType=3", "desiredAccuracy=10",
                          "pausesLocationUpdatesAutomatically=false", "startUpdatingHeading",
                          "headingFilter=1", "startUpdatingLocation", "startUpdatingHeading",
                          "headingFilter=5", "startMonitoringSignificantLocationChanges"));
  EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 8),
              ElementsAre("algorithm on", "logger and debug off", "logger off", "tracemoor off",
                          "sending data on", "heading on", "heading collection on",
                          "nslogger heartbeat off"));
  EXPECT_EQ(machine().currentStrategyType(), StrategyTypeInitial);
  EXPECT_TRUE(trevalo->isRunning());
  EXPECT_EQ(client->apiKey(), "token");
  EXPECT_TRUE(TRUtils::wasRunning());
  EXPECT_EQ(storedOptions(), std::nullopt);

  // A second start while running repeats only what is not location work.
  locationManager().clearCalls();
  start(TROptions{{TROptionWhenInUseOnly, true}});
  EXPECT_THAT(locationManager().calls(), ElementsAre("requestWhenInUseAuthorization"));
  EXPECT_EQ(storedOptions(), (TROptions{{TROptionWhenInUseOnly, true}}));
}

TEST_F(LifecycleTest, OnlyAListOfFiltersIsAFilterOptionAndARefusedOneStartsNothing) {
  constexpr int kRefused = -2;
  constexpr int kNone = -1;
  const struct {
    const char* name;
    TROptionValue value;
    int filters;
  } cases[] = {
      {"a text, first", "food", kRefused},
      {"null", nullptr, kNone},
      {"an empty JSON list", Json::array(), 0},
      {"two filters", std::vector{filter("food", 0), filter("bar", 50)}, 2},
      {"a text", "food", kRefused},
      {"a JSON list of maps", Json::array({{{"venue_name", "x"}}}), kRefused},
      {"a list with a venue", std::vector{std::make_shared<TRVenue>()}, kRefused},
      {"a list with a null filter", std::vector<std::shared_ptr<TRFilter>>{nullptr}, kRefused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    relaunch();
    const bool accepted = c.filters != kRefused;
    const TROptions options{{TROptionFilter, c.value}};
    const auto kept = storedOptions();
    EXPECT_EQ(startRaising(options), accepted ? "" : Exception::kInvalidArgument);
    EXPECT_EQ(trevalo->isRunning(), accepted);
    // A refused start leaves what an earlier one kept.
    EXPECT_EQ(storedOptions(), accepted ? options : kept);
    if (!accepted) {
      EXPECT_EQ(TRUtils::wasRunning(), kept.has_value());
    }
    const auto filters = trevalo->filters();
    EXPECT_EQ(filters ? static_cast<int>(filters->size()) : accepted ? kNone : kRefused, c.filters);
  }
}

TEST_F(LifecycleTest, TimedUpdatesFollowTheIntervalOptionAndASecondStartReplacesThem) {
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
    EXPECT_EQ(startRaising({{TROptionTimedUpdatesInterval, c.interval}}),
              c.raises ? Trevalo::kTimedUpdatesIntervalException : "");
    // A refused interval leaves the kept options. Twice: the second replaces the first timer
    // instead of adding one.
    if (!c.raises) start(TROptions{{TROptionTimedUpdatesInterval, c.interval}});
    EXPECT_EQ(storedOptions().has_value(), !c.raises);
    EXPECT_EQ(timedUpdatesWithin(10.0), c.updatesIn10Seconds);
    EXPECT_EQ(trevalo->callbackInterval(), c.interval > 0.001 ? c.interval : 0.0);
  }
  EXPECT_EQ(delegate->locations.back().coordinate(), metres(0, 0));
  EXPECT_THROW(trevalo->scheduleTimedUpdates(0.999), Exception);
  EXPECT_THROW(trevalo->scheduleTimedUpdates(std::nan("")), Exception);
}

TEST_F(LifecycleTest, ALaunchRestartsWithTheKeptOptionsOnlyWhenTheSdkWasRunning) {
  trevalo->handleAppLaunch("token", delegate);  // a fresh installation: nothing starts
  runUntilIdle();
  EXPECT_TRUE(locationManager().calls().empty());

  start(TROptions{{TROptionFilter, std::vector{filter("food", 25.0), filter("bar", 0.0)}},
                  {TROptionUseiOSMotionActivity, true}});
  relaunch();
  trevalo->handleAppLaunch("token-2", delegate);
  runUntilIdle();
  EXPECT_TRUE(trevalo->isRunning());
  EXPECT_EQ(client->apiKey(), "token-2");
  const auto filters = trevalo->filters();
  ASSERT_EQ(filters.value_or(std::vector<std::shared_ptr<TRFilter>>{}).size(), 2u);
  EXPECT_EQ((*filters)[0]->description(), filter("food", 25.0)->description());
  EXPECT_EQ((*filters)[1]->description(), filter("bar", 0.0)->description());
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

TEST_F(LifecycleTest, PauseStopsEverythingAndResumeBringsBackOnlyAnAcceptedInterval) {
  EXPECT_EQ(trevalo->resume().value_or(Error("", 0)).code(), -9998);  // no token yet
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
  // Every sleep region goes, and only those.
  ASSERT_EQ(locationManager().monitoredRegions().size(), 1u);
  EXPECT_EQ(locationManager().monitoredRegions()[0].identifier, "shop-1");
  EXPECT_EQ(machine().currentStrategyType(), StrategyTypeUnset);
  EXPECT_TRUE(platform().application().activeBackgroundTasks().empty());
  EXPECT_FALSE(platform().motionSensors().motionManager()->isAccelerometerActive());
  EXPECT_FALSE(TRUtils::wasRunning());
  EXPECT_FALSE(TRUtils::geofenceOn());
  EXPECT_EQ(timedUpdatesWithin(60.0), 0u);

  EXPECT_EQ(trevalo->resume(), std::nullopt);
  EXPECT_TRUE(TRUtils::wasRunning());
  EXPECT_EQ(timedUpdatesWithin(60.0), 2u);
  // A refused interval is kept, but never runs (not every 0.1 ms, as -5 s would).
  EXPECT_THROW(trevalo->scheduleTimedUpdates(-5.0), Exception);
  trevalo->pause();
  runUntilIdle();
  trevalo->resume();
  EXPECT_EQ(trevalo->callbackInterval(), -5.0);
  EXPECT_EQ(timedUpdatesWithin(5.0), 0u);
}

TEST_F(LifecycleTest, PauseThenResumeEndsInTheInitialStrategyWhateverTheThreads) {
  const auto call = [](bool elsewhere, const std::function<void()>& work) {
    if (elsewhere) {
      std::thread(work).join();
    } else {
      work();
    }
  };
  for (const bool pauseElsewhere : {false, true}) {
    for (const bool resumeElsewhere : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "pause elsewhere " << pauseElsewhere
                                        << ", resume elsewhere " << resumeElsewhere);
      relaunch();
      start();
      machine().changeStrategy(StrategyTypeLowWalking, {});
      call(pauseElsewhere, [this] { trevalo->pause(); });
      call(resumeElsewhere, [this] { EXPECT_EQ(trevalo->resume(), std::nullopt); });
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
  machine().forceStateChange();
  EXPECT_EQ(locationManager().desiredAccuracy(), 100.0);
  EXPECT_EQ(locationManager().distanceFilter(), 10.0);
  EXPECT_FALSE(trevalo->isCompassOn());
}

TEST_F(LifecycleTest, FacadesNeedTheirCollaboratorsAndTheSharedOneIsMadeOnce) {
  auto partial = std::make_shared<TRContext>(context->locationManager, context->analyzeLocations,
                                             context->networkClient, context->device,
                                             context->extraInfoCollector, nullptr);
  EXPECT_THROW(Trevalo::initWithContext(partial), Exception);
  // Without a keep-alive loop and a state machine the facade runs, applying no strategy.
  partial->visitsQueue = context->visitsQueue;
  trevalo = Trevalo::initWithContext(partial);
  std::vector<std::string> strategies;
  recordStrategies(strategies);
  start();
  EXPECT_TRUE(locationManager().isUpdatingLocation());
  EXPECT_TRUE(strategies.empty());

  const auto shared = Trevalo::sharedInstance();
  EXPECT_EQ(Trevalo::sharedInstanceWithContext(context), shared);
  EXPECT_NE(shared->trContext(), context);
  EXPECT_EQ(shared->trContext()->networkClient, TRNetworkClient::instance());
}

}  // namespace
}  // namespace trevalo
