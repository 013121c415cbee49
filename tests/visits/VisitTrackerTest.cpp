#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Geocoder.h"
#include "trevalo/platform/ReachabilityTarget.h"
#include "visits/VisitTestSupport.h"

namespace trevalo {
namespace {

using platform::ReachabilitySource;
using platform::ReachabilityTarget;
using testing::CaseName;
using testing::PrintTo;
using testing::VisitTrackerTest;

const std::string kResolve = "/v1/geocode/reverse_geocode?api_token=token";

platform::Placemark placemark(std::optional<std::string> name, std::optional<std::string> country) {
  platform::Placemark result;
  result.name = std::move(name);
  result.country = std::move(country);
  result.location = Location(Coordinate{45.5, -73.6});
  return result;
}

// --- Resolving a stay ------------------------------------------------------------------------

TEST_F(VisitTrackerTest, AStayIsPostedAndItsPlaceStartsAVisitAtTheTimeOfTheRequest) {
  advanceBy(100);
  const Date requested = now();
  const auto descriptor = resolveStayAt(40.74, -73.98);
  ASSERT_EQ(paths(), std::vector<std::string>{kResolve});
  EXPECT_EQ(body(0)["points"].size(), 3u);
  EXPECT_FALSE(body(0).contains("filter"));

  advanceBy(30);
  answer(200, testing::readModelJson("reverse_geocode.json"));
  ASSERT_EQ(delegate_->summary(), std::vector<std::string>{"start a-1009v-5821"});
  EXPECT_EQ(delegate_->events[0].visit->startDate(), requested);
  EXPECT_TRUE(tracker_->operationsQueue().empty());
  EXPECT_EQ(savedOperationCount(), 0u);
  EXPECT_EQ(delegate_->finished, std::vector<std::shared_ptr<MetaOperationBase>>{descriptor});
  EXPECT_FALSE(tracker_->outsideOfUS());
}

TEST_F(VisitTrackerTest, AnEmptyAnswerWithoutFiltersFallsBackToTheGeocoder) {
  const Date requested = now();
  resolveStayAt(45.5, -73.6);
  advanceBy(60);
  answer(200, Json::object());
  ASSERT_EQ(platform().geocoder().requestCount(), 1u);
  EXPECT_EQ(platform().geocoder().requests()[0].coordinate().latitude, 45.5);
  ASSERT_EQ(tracker_->operationsQueue().size(), 1u);
  EXPECT_TRUE(
      std::dynamic_pointer_cast<MetaOperationGetAppleVenue>(tracker_->operationsQueue()[0]));

  // Neither a name nor a country: a visit at the unknown venue, taken to be outside the US.
  platform().geocoder().respondToNext(std::vector<platform::Placemark>{});
  runUntilIdle();
  ASSERT_EQ(delegate_->events.size(), 1u);
  const auto& visit = delegate_->events[0].visit;
  EXPECT_EQ(visit->startDate(), requested);
  EXPECT_EQ(visit->geocodeResult()->venue->venueId, "unknownId");
  EXPECT_EQ(visit->geocodeResult()->venue->name, "Unknown Venue");
  EXPECT_TRUE(tracker_->outsideOfUS());
  EXPECT_TRUE(tracker_->operationsQueue().empty());

  // Outside the US, stays go to the geocoder directly.
  const auto next = resolveStayAt(45.6, -73.7);
  EXPECT_TRUE(std::dynamic_pointer_cast<MetaOperationGetAppleVenue>(next));
  EXPECT_EQ(transport().sentCount(), 1u);
  EXPECT_EQ(platform().geocoder().requestCount(), 2u);
  platform().geocoder().respondToNext(std::vector{placemark("Diner", "United States")});
  runUntilIdle();
  EXPECT_FALSE(tracker_->outsideOfUS());
  EXPECT_EQ(delegate_->events.back().visit->geocodeResult()->venue->name, "Diner");
}

TEST_F(VisitTrackerTest, AServiceAnswerBringsLaterStaysBackToTheService) {
  resolveStayAt(45.5, -73.6);
  resolveStayAt(40.74, -73.98);
  answer(200, Json::object());
  platform().geocoder().respondToNext(std::vector<platform::Placemark>{});
  runUntilIdle();
  ASSERT_TRUE(tracker_->outsideOfUS());

  answer(200, testing::placeJson("A1", "V1"));
  EXPECT_FALSE(tracker_->outsideOfUS());
  const auto next = resolveStayAt(40.75, -73.99);
  EXPECT_TRUE(std::dynamic_pointer_cast<MetaOperationGetVenueByLocations>(next));
  EXPECT_EQ(paths().back(), kResolve);
  EXPECT_EQ(platform().geocoder().requestCount(), 1u);
}

TEST_F(VisitTrackerTest, AnEmptyAnswerWithFiltersEndsThere) {
  resolveStayAt(45.5, -73.6, std::vector<std::shared_ptr<TRFilter>>{});
  answer(200, Json::object());
  EXPECT_EQ(platform().geocoder().requestCount(), 0u);
  EXPECT_TRUE(delegate_->events.empty());
  EXPECT_TRUE(tracker_->operationsQueue().empty());
}

TEST_F(VisitTrackerTest, WithoutAGeocoderTheFallbackIsDroppedRatherThanRetriedForEver) {
  platform().geocoder().setResponder(
      [](const Location&) -> std::optional<platform::SimulatedGeocoder::Answer> {
        return platform::Geocoder::unavailableError();
      });
  resolveStayAt(45.5, -73.6);
  answer(200, Json::object());
  EXPECT_TRUE(tracker_->operationsQueue().empty());
  EXPECT_EQ(savedOperationCount(), 0u);
  EXPECT_EQ(tracker_->failCount(), 0u);
  tracker_->resendAllPendingOperations();
  runUntilIdle();
  EXPECT_EQ(platform().geocoder().requestCount(), 1u);
  EXPECT_EQ(tracker_->nsOperationQueue()->operationCount(), 0u);
}

// --- Failures and retries --------------------------------------------------------------------

struct BackOffCase {
  const char* name;
  int failures;
  double stillWaitingAt;  // seconds after the last failure
  double retriedAt;
  std::uint64_t countAfterRetry;
};

class VisitTrackerBackOffTest : public VisitTrackerTest,
                                public ::testing::WithParamInterface<BackOffCase> {};

TEST_P(VisitTrackerBackOffTest, RetriesOnlyOnceTheWaitHasPassed) {
  const auto& c = GetParam();
  resolveStayAt(40.74, -73.98);
  answer(500);
  for (int i = 1; i < c.failures; ++i)
    tracker_->handleError(Error("Trevalo", -9992));
  ASSERT_EQ(tracker_->failCount(), static_cast<std::uint64_t>(c.failures));

  advanceBy(c.stillWaitingAt);
  tracker_->resendAllPendingOperations();
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 1u);
  EXPECT_EQ(tracker_->failCount(), c.countAfterRetry);

  advanceBy(c.retriedAt - c.stillWaitingAt);
  tracker_->resendAllPendingOperations();
  runUntilIdle();
  ASSERT_EQ(transport().sentCount(), 2u);
  EXPECT_EQ(body(1), body(0));
}

INSTANTIATE_TEST_SUITE_P(Schedule, VisitTrackerBackOffTest,
                         ::testing::Values(BackOffCase{"OneFailure", 1, 60, 61, 1},
                                           BackOffCase{"ThreeFailures", 3, 200, 241, 3},
                                           BackOffCase{"TwelveFailuresCountAsSeven", 12, 3840, 3841,
                                                       7}),
                         CaseName());

TEST_F(VisitTrackerTest, ASuccessRemovesEveryEqualDescriptor) {
  const auto first = resolveStayAt(40.0, -73.0);
  const auto twin = resolveStayAt(40.0000005, -73.0000005);
  const auto other = resolveStayAt(41.0, -73.0);
  ASSERT_EQ(transport().sentCount(), 3u);

  answer(200, testing::placeJson("A1", "V1"));
  EXPECT_EQ(tracker_->operationsQueue(), std::vector<std::shared_ptr<MetaOperationBase>>{other});
  EXPECT_EQ(savedOperationCount(), 1u);
  // The twin's own success finds nothing left to remove, and is still reported.
  answer(200, testing::placeJson("A1", "V1"));
  EXPECT_EQ(tracker_->operationsQueue().size(), 1u);
  EXPECT_EQ(delegate_->finished, (std::vector<std::shared_ptr<MetaOperationBase>>{first, twin}));
}

// --- Events from the platform ----------------------------------------------------------------

TEST_F(VisitTrackerTest, TheNetworkComingBackRetriesOncePerReturn) {
  auto& reachability = platform().simulatedReachabilitySource();
  const auto internet = ReachabilityTarget::internet();
  resolveStayAt(40.74, -73.98);
  answer(500);
  advanceBy(61);

  reachability.setFlagsForTarget(internet, 0);
  runUntilIdle();
  EXPECT_FALSE(tracker_->previousReachabilityStatus());
  EXPECT_EQ(transport().sentCount(), 1u);

  reachability.setFlagsForTarget(internet, ReachabilitySource::kReachable);
  runUntilIdle();
  EXPECT_TRUE(tracker_->previousReachabilityStatus());
  ASSERT_EQ(transport().sentCount(), 2u);
  answer(500);
  advanceBy(121);

  // Still reachable, over another link: no new attempt.
  reachability.setFlagsForTarget(internet,
                                 ReachabilitySource::kReachable | ReachabilitySource::kIsWWAN);
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 2u);
}

TEST_F(VisitTrackerTest, FollowsTheApplicationIntoTheForegroundAndTheBackground) {
  auto& application = platform().application();
  application.setApplicationState(platform::ApplicationState::kBackground);
  tracker_->handleCurrentVisitWithnewRsult(testing::placeWith("A1", "V1"), now());
  EXPECT_FALSE(tracker_->currentVisit()->appActive());

  application.setApplicationState(platform::ApplicationState::kActive);
  EXPECT_TRUE(tracker_->currentVisit()->appActive());
  EXPECT_TRUE(saved()->currentVisit()->appActive());

  resolveStayAt(40.74, -73.98);
  answer(500);
  advanceBy(61);
  application.setApplicationState(platform::ApplicationState::kBackground);
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 2u);
}

}  // namespace
}  // namespace trevalo
