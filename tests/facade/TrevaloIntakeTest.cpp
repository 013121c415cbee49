// Fixes, headings, region crossings, failures and activity reports on their way through the
// facade, and the callbacks the application gets for them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FacadeTestSupport.h"
#include "analyzer/TRLocationAnalyzerContext.h"
#include "networking/Reachability.h"
#include "trevalo/platform/simulated/MotionActivityScript.h"
#include "trevalo/utils/TRConstants.h"
#include "vell/ExtraLocationInfoCollector.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::metres;

using IntakeTest = testing::FacadeTest;

TEST_F(IntakeTest, ABatchIsTakenFixByFixThenTheSensorsAreClearedAndOneRequestAnswered) {
  start();
  std::vector<std::string> answers;
  const auto request = [&](const char* name) {
    trevalo->getCurrentLocationWithHandler(
        [&answers, name](std::optional<Location> location, std::optional<Error> error) {
          answers.push_back(std::string(name) + (location ? " location" : " nothing") +
                            (error ? " error" : ""));
        });
  };
  // A batch without a location answers the waiting request with nothing and no error, once.
  request("empty");
  deliver(std::vector<Location>{});
  deliver(std::vector<Location>{});
  EXPECT_THAT(answers, ElementsAre("empty nothing"));

  platform().wifiNetworkNameText().set("Office");
  platform::Heading heading;
  heading.magneticHeading = 90.0;
  heading.timestamp = now();
  locationManager().deliverHeading(heading);
  runUntilIdle();
  answers.clear();
  request("first");
  request("second");  // replaces the first, which is never answered
  EXPECT_THAT(answers, IsEmpty());

  ASSERT_TRUE(deliver({fixAt(metres(0, 0)), fixAt(metres(0, 5)), fixAt(metres(0, 10))}));
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"location", "location", "location"}));
  EXPECT_THAT(answers, ElementsAre("second location"));
  EXPECT_EQ(analyzer().pointIndex(), 3);
  const auto& history = analyzer().locationAnalyzerContext()->locations;
  for (const auto& sample : history)
    EXPECT_EQ(sample->wifiName, "Office");
  // The heading taken before the batch went with each of its fixes, and is gone after it.
  EXPECT_EQ(history.back()->headingArray.size(), 1u);
  EXPECT_TRUE(context->extraInfoCollector->getHeadingArray().empty());

  deliver(metres(0, 15));
  EXPECT_THAT(answers, ElementsAre("second location"));
  request("third");  // a location is known: answered at once
  EXPECT_THAT(answers, ElementsAre("second location", "third location"));
}

TEST_F(IntakeTest, CrossingsOfOtherRegionsAreOnlyReported) {
  start();
  locationManager().startMonitoringForRegion({metres(0, 0), 50.0, "shop-1"});
  ASSERT_TRUE(locationManager().deliverRegionEntry("shop-1"));
  ASSERT_TRUE(locationManager().deliverRegionExit("shop-1"));
  runUntilIdle();
  EXPECT_THAT(delegate->notices(),
              ElementsAre("region entered region shop-1", "region exited region shop-1"));
  EXPECT_EQ(locationManager().monitoredRegions().size(), 1u);
  EXPECT_EQ(machine().currentStrategyType(), StrategyTypeInitial);
}

TEST_F(IntakeTest, EachActivityReachesTheApplicationOnceAndTheFirstUnknownNotAtAll) {
  using platform::MotionActivity;
  using platform::MotionActivityScript;
  const MotionActivity walking{.walking = true};
  const MotionActivity driving{.automotive = true};
  platform().motionSensors().setActivityScript(
      MotionActivityScript::activity(5, {})
          .then(MotionActivityScript::activity(10, walking))
          .then(MotionActivityScript::activity(10, walking))
          .then(MotionActivityScript::activity(10, driving))
          .then(MotionActivityScript::activity(10, driving))
          .then(MotionActivityScript::activity(10, walking)));
  start(TROptions{{TROptionUseiOSMotionActivity, true}});
  advanceBy(60.0);
  EXPECT_EQ(delegate->activities,
            (std::vector<TRActivityMode>{TRActivityModeWalking, TRActivityModeAutomotive,
                                         TRActivityModeWalking}));
  // The analyzer hears every report.
  EXPECT_EQ(analyzer().currentActivity(), TRActivityModeWalking);
}

TEST_F(IntakeTest, DrivingIsReportedAsAnActivityBeforeTheStrategyFollowsIt) {
  start();
  recordStrategies(delegate->events, true);
  constexpr testing::FixKind kDriving{8.0, 90.0, 15.0};
  walk(metres(0, 0), metres(0, 200), 130.0);
  walk(metres(0, 200), metres(0, 425), 15.0, 5.0, kDriving);
  ASSERT_EQ(analyzer().currentMode(), TRModeCar);
  EXPECT_THAT(delegate->notices(), ElementsAre("strategy StrategyTypeLowWalking", "activity 5",
                                               "strategy StrategyTypeCar"));
}

TEST_F(IntakeTest, OnlyTheCallbacksADelegateImplementsAreMade) {
  // Records every callback it is given, but says it implements only the location one.
  struct LocationsOnly : testing::RecordingDelegate {
    std::uint32_t implementedCallbacks() const override {
      return TrevaloDelegate::kDidUpdateLocation;
    }
  };
  const auto locationsOnly = std::make_shared<LocationsOnly>();
  trevalo->startWithApiToken("token", locationsOnly);
  runUntilIdle();
  locationManager().startMonitoringForRegion({metres(0, 0), 50.0, "shop-1"});
  locationManager().deliverRegionEntry("shop-1");
  locationManager().deliverFailure(Error("kCLErrorDomain", 0));
  deliver(metres(0, 0));
  EXPECT_THAT(locationsOnly->events, ElementsAre("location"));

  // The facade holds its delegate weakly: one the application lets go is gone, and not called.
  auto passing = std::make_shared<testing::RecordingDelegate>();
  const std::weak_ptr<testing::RecordingDelegate> held = passing;
  trevalo->startWithApiToken("token", passing);
  runUntilIdle();
  passing.reset();
  EXPECT_TRUE(held.expired());
  EXPECT_TRUE(deliver(metres(0, 5)));
}

TEST_F(IntakeTest, TheImplementedCallbacksAreThoseTheDelegateClassOverrides) {
  struct Silent : TrevaloDelegate {};
  struct VisitsOnly : TrevaloDelegate {
    void trevaloDidStartVisit(Trevalo&, const std::shared_ptr<TRVisit>&) override {}
    void trevaloDidEndVisit(Trevalo&, const std::shared_ptr<TRVisit>&) override {}
  };
  struct DerivedFromVisitsOnly : VisitsOnly {};
  struct SaysSo : VisitsOnly {
    std::uint32_t implementedCallbacks() const override { return kChangeRegion; }
  };
  const std::shared_ptr<TrevaloDelegate> erased = std::make_shared<VisitsOnly>();
  const struct {
    const char* name;
    TrevaloDelegateReference reference;
    std::uint32_t callbacks;
  } cases[] = {
      {"no delegate", nullptr, 0},
      {"a silent delegate", std::make_shared<Silent>(), 0},
      {"visits only", std::make_shared<VisitsOnly>(),
       TrevaloDelegate::kDidStartVisit | TrevaloDelegate::kDidEndVisit},
      {"inherited overrides", std::make_shared<DerivedFromVisitsOnly>(),
       TrevaloDelegate::kDidStartVisit | TrevaloDelegate::kDidEndVisit},
      {"its own answer", std::make_shared<SaysSo>(), TrevaloDelegate::kChangeRegion},
      {"seen as a plain delegate", erased, TrevaloDelegate::kAllCallbacks},
      {"the recording delegate", delegate, TrevaloDelegate::kAllCallbacks},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.reference.implementedCallbacks(), c.callbacks) << c.name;
  }
}

TEST_F(IntakeTest, FailuresAreReportedAndReachabilityChangesRefreshTheWifiName) {
  start();
  locationManager().deliverFailure(Error("kCLErrorDomain", 1));
  platform().wifiNetworkNameText().set("Cafe");
  platform().notificationCenter().postNotificationName(kReachabilityChangedNotification);
  runUntilIdle();
  EXPECT_THAT(delegate->notices(), ElementsAre("error 1"));
  EXPECT_EQ(analyzer().locationAnalyzerContext()->lastWifiName, "Cafe");
  EXPECT_TRUE(deliver(metres(0, 0)));
}

TEST_F(IntakeTest, ServerGeofencesMatchingTheFiltersAreReportedOnEntryAndExit) {
  auto food = std::make_shared<TRFilter>();
  food->venueCategory = "food";
  food->radius = 100.0;
  start(TROptions{{TROptionFilter, std::vector{food}}});
  // On foot from 125 s: the first walking fix asks for the geofences around it.
  walk(metres(0, 0), metres(0, 200), 130.0);
  ASSERT_EQ(analyzer().currentMode(), TRModeWalking);
  const auto pending = transport().pendingRequests();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pathOf(pending[0].request.url), "/v1/venues/geofences?api_token=token");
  const Coordinate cafe = metres(0, 260);
  answer(200,
         Json::array(
             {{{"name", "Cafe"},
               {"address",
                {{"location", {{"latitude", cafe.latitude}, {"longitude", cafe.longitude}}}}}}}));
  walk(metres(0, 200), metres(0, 450), 180.0);
  EXPECT_THAT(delegate->notices(), ElementsAre("enter Cafe", "exit Cafe"));
}

}  // namespace
}  // namespace trevalo
