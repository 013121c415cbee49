#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/platform/Geocoder.h"
#include "trevalo/platform/ReachabilityTarget.h"
#include "visits/VisitTestSupport.h"
#include "visits/operations/MetaOperationGetAppleVenue.h"
#include "visits/operations/MetaOperationGetVenueByLocations.h"

namespace trevalo {
namespace {

using testing::CaseName;
using testing::PrintTo;
using testing::VisitTrackerTest;

using testing::kLogPath;
using testing::kResolvePath;

// --- Resolving a stay ------------------------------------------------------------------------

// What the geocoder's answer makes of the stay is GeocodedVisitTest's; here only when it is asked,
// and that the visit starts when the stay was resolved, not when the geocoder answered.
TEST_F(VisitTrackerTest, AnEmptyAnswerFallsBackToTheGeocoderOnlyWithoutFilters) {
  resolveStayAt(45.5, -73.6, std::vector<std::shared_ptr<TRFilter>>{});
  answer(200, Json::object());
  EXPECT_EQ(platform().geocoder().requestCount(), 0u);
  EXPECT_TRUE(tracker_->operationsQueue().empty());

  const Date requested = now();
  resolveStayAt(45.5, -73.6);
  advanceBy(60);
  answer(200, Json::object());
  ASSERT_TRUE(platform().geocoder().respondToNext(std::vector<platform::Placemark>{}));
  runUntilIdle();
  ASSERT_EQ(delegate_->events.size(), 1u);
  EXPECT_EQ(delegate_->events[0].visit->startDate(), requested);
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
  EXPECT_EQ(paths().back(), kResolvePath);
  EXPECT_EQ(platform().geocoder().requestCount(), 1u);
}

// Two resolutions of the same stay (the same last position within a millionth of a degree
// either way, and for the service the same number of samples) are one piece of work.
TEST_F(VisitTrackerTest, EqualDescriptorsLeaveTheListTogether) {
  struct Shift {
    const char* name;
    double latitude;
    double longitude;
    bool longer;
    bool equal;
  };
  const Shift shifts[] = {
      {"near north", 5e-7, 0.0, false, true},   {"near east", 0.0, 5e-7, false, true},
      {"moved north", 2e-6, 0.0, false, false}, {"moved east", 0.0, 2e-6, false, false},
      {"moved west", 0.0, -2e-6, false, false}, {"one sample more", 0.0, 0.0, true, false}};
  const auto byLocations = [&](const Shift& shift) {
    auto stay = testing::stayAt(40.0 + shift.latitude, -73.0 + shift.longitude);
    if (shift.longer) stay.push_back(stay.back());
    return std::make_shared<MetaOperationGetVenueByLocations>(tracker_, stay, now(), std::nullopt);
  };
  const auto byGeocoder = [&](const Shift& shift) {
    return std::make_shared<MetaOperationGetAppleVenue>(
        tracker_, Location(Coordinate{40.0 + shift.latitude, -73.0 + shift.longitude}), now());
  };
  const Shift none{"none", 0.0, 0.0, false, true};
  const auto first = byLocations(none);
  const auto geocoded = byGeocoder(none);
  EXPECT_FALSE(first->isEqual(geocoded.get()));
  EXPECT_FALSE(geocoded->isEqual(first.get()));
  for (const auto& shift : shifts) {
    SCOPED_TRACE(shift.name);
    EXPECT_EQ(first->isEqual(byLocations(shift).get()), shift.equal);
    EXPECT_EQ(byLocations(shift)->isEqual(first.get()), shift.equal);
    if (!shift.longer) {
      EXPECT_EQ(geocoded->isEqual(byGeocoder(shift).get()), shift.equal);
    }
  }

  const auto near = byLocations(shifts[1]);
  const auto moved = byLocations(shifts[3]);
  const auto longer = byLocations(shifts[5]);
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
  EXPECT_EQ(paths(), std::vector<std::string>{kResolvePath});
}

// Work waiting after a failure goes out again when the connection comes back, and only then.
TEST_F(VisitTrackerTest, OnlyTheConnectionComingBackResendsTheWork) {
  auto& source = platform().simulatedReachabilitySource();
  const auto sentAfter = [&](std::optional<platform::ReachabilitySource::Flags> flags) {
    source.setFlagsForTarget(platform::ReachabilityTarget::internet(), flags);
    runUntilIdle();
    return transport().sentCount();
  };
  resolveStayAt(40.74, -73.98);
  answer(500);
  advanceBy(61);
  std::vector<std::size_t> sent;
  sent.push_back(sentAfter(0x0));  // lost
  sent.push_back(sentAfter(0x2));  // back
  answer(500);
  advanceBy(121);
  sent.push_back(sentAfter(0x2 | 0x40000));  // still there
  sent.push_back(sentAfter(0x0));
  sent.push_back(sentAfter(0x2));
  EXPECT_EQ(sent, (std::vector<std::size_t>{1, 2, 2, 2, 3}));
}

// --- Failures and retries --------------------------------------------------------------------

// After a success of either kind the next failure waits the first back-off (60 s) again.
TEST_F(VisitTrackerTest, ASuccessOfAnyKindClearsTheFailures) {
  std::vector<std::uint64_t> counts;
  const auto failThenRetry = [&](const Json& success) {
    answer(500);
    counts.push_back(tracker_->failCount());
    advanceBy(61);
    tracker_->resendAllPendingOperations();
    runUntilIdle();
    if (success.is_null()) return;
    answer(200, success);
    counts.push_back(tracker_->failCount());
  };
  resolveStayAt(40.74, -73.98);
  failThenRetry(testing::placeJson("A1", "V1"));
  tracker_->endVisit(now());
  runUntilIdle();
  failThenRetry(Json::object());
  resolveStayAt(41.0, -74.0);
  failThenRetry(nullptr);
  EXPECT_EQ(counts, (std::vector<std::uint64_t>{1, 0, 1, 0, 1}));
  EXPECT_EQ(paths(), (std::vector<std::string>{kResolvePath, kResolvePath, kLogPath, kLogPath,
                                               kResolvePath, kResolvePath}));
}

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
