#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/platform/Geocoder.h"
#include "visits/VisitTestSupport.h"
#include "visits/operations/MetaOperationGetVenueByLocations.h"

namespace trevalo {
namespace {

using testing::CaseName;
using testing::PrintTo;
using testing::VisitTrackerTest;

const std::string kResolve = "/v1/geocode/reverse_geocode?api_token=token";

// --- Resolving a stay ------------------------------------------------------------------------

TEST_F(VisitTrackerTest, AnEmptyAnswerFallsBackToTheGeocoderOnlyWithoutFilters) {
  resolveStayAt(45.5, -73.6, std::vector<std::shared_ptr<TRFilter>>{});
  answer(200, Json::object());
  EXPECT_EQ(platform().geocoder().requestCount(), 0u);
  EXPECT_TRUE(tracker_->operationsQueue().empty());

  const Date requested = now();
  resolveStayAt(45.5, -73.6);
  advanceBy(60);
  answer(200, Json::object());
  ASSERT_EQ(platform().geocoder().requestCount(), 1u);
  EXPECT_EQ(platform().geocoder().requests()[0].coordinate().latitude, 45.5);

  // Neither a name nor a country: a visit at the unknown venue, where the stay was.
  platform().geocoder().respondToNext(std::vector<platform::Placemark>{});
  runUntilIdle();
  ASSERT_EQ(delegate_->events.size(), 1u);
  EXPECT_EQ(delegate_->events[0].visit->startDate(), requested);
  const auto& unknown = delegate_->events[0].visit->geocodeResult();
  EXPECT_EQ(unknown->venue->name, "Unknown Venue");
  EXPECT_EQ(unknown->address->coordinate(), (Coordinate{45.5, -73.6}));
}

TEST_F(VisitTrackerTest, AServiceAnswerBringsLaterStaysBackToTheService) {
  resolveStayAt(45.5, -73.6);
  resolveStayAt(40.74, -73.98);
  answer(200, Json::object());
  platform::Placemark canadian;
  canadian.country = "Canada";
  platform().geocoder().respondToNext(std::vector<platform::Placemark>{canadian});
  runUntilIdle();
  ASSERT_TRUE(tracker_->outsideOfUS());

  answer(200, testing::placeJson("A1", "V1"));
  EXPECT_FALSE(tracker_->outsideOfUS());
  const auto next = resolveStayAt(40.75, -73.99);
  EXPECT_TRUE(std::dynamic_pointer_cast<MetaOperationGetVenueByLocations>(next));
  EXPECT_EQ(paths().back(), kResolve);
  EXPECT_EQ(platform().geocoder().requestCount(), 1u);
}

TEST_F(VisitTrackerTest, EqualDescriptorsLeaveTheListTogether) {
  const auto descriptor = [&](double shift, bool longer) {
    auto stay = testing::stayAt(40.0 + shift, -73.0);
    if (longer) stay.push_back(stay.back());
    return std::make_shared<MetaOperationGetVenueByLocations>(tracker_, stay, now(), std::nullopt);
  };
  const auto first = descriptor(0.0, false);
  const auto near = descriptor(5e-7, false);
  const auto moved = descriptor(2e-6, false);
  const auto longer = descriptor(0.0, true);
  EXPECT_TRUE(first->isEqual(near.get()));
  EXPECT_FALSE(first->isEqual(moved.get()));
  EXPECT_FALSE(first->isEqual(longer.get()));

  for (const auto& operation : {first, near, moved, longer})
    tracker_->addOperation(operation);
  tracker_->removeFromOperation(first);
  EXPECT_EQ(tracker_->operationsQueue(),
            (std::vector<std::shared_ptr<MetaOperationBase>>{moved, longer}));
  EXPECT_EQ(savedOperationCount(), 2u);
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
}

TEST_F(VisitTrackerTest, ARequestRefusedForWantOfATokenIsAFailureThatStaysRetryable) {
  client_->setApiKey("");
  EXPECT_NO_THROW(resolveStayAt(40.74, -73.98));
  EXPECT_EQ(tracker_->failCount(), 1u);
  client_->setApiKey("token");
  advanceBy(61);
  tracker_->resendAllPendingOperations();
  runUntilIdle();
  EXPECT_EQ(paths(), std::vector<std::string>{kResolve});
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
                                           BackOffCase{"TwelveFailuresCountAsSeven", 12, 3840, 3841,
                                                       7}),
                         CaseName());

}  // namespace
}  // namespace trevalo
