#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/utils/TRUtils.h"
#include "visits/VisitTestSupport.h"

namespace trevalo {
namespace {

using testing::CaseName;
using testing::PrintTo;
using testing::VisitTrackerTest;

constexpr double kHour = 3600.0;

struct Visit {
  const char* addressId;
  const char* venueId;
  double start;  // hours after the test's start
  std::optional<double> end = std::nullopt;
};

// One resolution reaching the tracker. Texts: "<identity> <start>-<end>" in hours ("-" alone
// for an open visit); logged visits add "@<end of the log descriptor>".
struct DecisionCase {
  const char* name;
  std::optional<Visit> current;
  Visit answer;  // the resolved place and the start of its stay
  double now;    // when the answer arrives
  std::vector<std::string> reported;
  std::string currentAfter;
  std::vector<std::string> logged;
};

class VisitTrackerDecisionTest : public VisitTrackerTest,
                                 public ::testing::WithParamInterface<DecisionCase> {
 protected:
  Date at(double hours) const { return start_.dateByAddingTimeInterval(hours * kHour); }
  std::string hours(std::optional<Date> date) const {
    if (!date) return "";
    const double value = date->timeIntervalSinceDate(start_) / kHour;
    return std::to_string(static_cast<long long>(std::lround(value)));
  }
  std::string text(const TRCachedVisit& visit, std::optional<Date> end) const {
    return visit.cachedVisitId() + " " + hours(visit.startDate()) + "-" + hours(end);
  }

  Date start_;
};

TEST_P(VisitTrackerDecisionTest, DecidesBetweenContinuingAndStartingAVisit) {
  const auto& c = GetParam();
  start_ = now();
  if (c.current) {
    tracker_->assignNewCurrentVenue(testing::placeWith(c.current->addressId, c.current->venueId),
                                    at(c.current->start));
    if (c.current->end) tracker_->updateDepartureDate(at(*c.current->end));
  }
  advanceBy(c.now * kHour);

  tracker_->handleCurrentVisitWithnewRsult(testing::placeWith(c.answer.addressId, c.answer.venueId),
                                           at(c.answer.start));
  runUntilIdle();

  std::vector<std::string> reported;
  for (const auto& event : delegate_->events) {
    reported.push_back(event.kind + " " + text(*event.visit, event.endDate));
  }
  EXPECT_EQ(reported, c.reported);

  const auto& current = tracker_->currentVisit();
  ASSERT_TRUE(current);
  EXPECT_EQ(text(*current, current->endDate()), c.currentAfter);
  const auto savedCurrent = saved()->currentVisit();
  ASSERT_TRUE(savedCurrent);
  EXPECT_EQ(text(*savedCurrent, savedCurrent->endDate()), c.currentAfter);

  std::vector<std::string> logged;
  for (const auto& operation : tracker_->operationsQueue()) {
    const auto departure = std::dynamic_pointer_cast<MetaOperationDepart>(operation);
    ASSERT_TRUE(departure);
    logged.push_back(text(*departure->visit(), departure->visit()->endDate()) + " @" +
                     hours(departure->endDate()));
  }
  EXPECT_EQ(logged, c.logged);
  EXPECT_EQ(transport().sentCount(), c.logged.size());
  EXPECT_EQ(savedOperationCount(), c.logged.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, VisitTrackerDecisionTest,
    ::testing::Values(
        DecisionCase{
            "FirstVisit", std::nullopt, {"A1", "V1", 2}, 2, {"start A1V1 2-"}, "A1V1 2-", {}},
        DecisionCase{"SamePlaceWithin12HoursOfItsEnd",
                     Visit{"A1", "V1", 0, 1},
                     {"A1", "V1", 6},
                     6,
                     {},
                     "A1V1 0-",
                     {}},
        // The visit keeps the end it had; the log descriptor carries the new start.
        DecisionCase{"SamePlace13HoursAfterItsEnd",
                     Visit{"A1", "V1", 0, 1},
                     {"A1", "V1", 14},
                     14,
                     {"end A1V1 0-1", "start A1V1 14-"},
                     "A1V1 14-",
                     {"A1V1 0-1 @14"}},
        DecisionCase{"SamePlaceWhileOpen",
                     Visit{"A1", "V1", 0, std::nullopt},
                     {"A1", "V1", 30},
                     30,
                     {},
                     "A1V1 0-",
                     {}},
        DecisionCase{"AnotherPlace",
                     Visit{"A1", "V1", 0, std::nullopt},
                     {"A2", "V2", 3},
                     3,
                     {"end A1V1 0-3", "start A2V2 3-"},
                     "A2V2 3-",
                     {"A1V1 0-3 @3"}},
        DecisionCase{"AnswerOlderThanTheOpenVisit",
                     Visit{"A1", "V1", 5, std::nullopt},
                     {"A2", "V2", 1},
                     6,
                     {},
                     "A1V1 5-",
                     {"A2V2 1-6 @6"}},
        DecisionCase{"PlacesWithoutIdentityNeverContinue",
                     Visit{"", "", 0, std::nullopt},
                     {"", "", 1},
                     1,
                     {"end  0-1", "start  1-"},
                     " 1-",
                     {" 0-1 @1"}}),
    CaseName());

TEST_F(VisitTrackerTest, ADepartureEndsLogsAndClearsTheVisit) {
  const Date start = now();
  tracker_->endVisit(start);  // no visit: nothing at all
  EXPECT_FALSE(saved());

  tracker_->assignNewCurrentVenue(testing::placeWith("A1", "V1"), start);
  advanceBy(4 * kHour);
  tracker_->endVisit(now());
  runUntilIdle();

  ASSERT_EQ(delegate_->summary(), std::vector<std::string>{"end A1V1"});
  EXPECT_EQ(delegate_->events[0].endDate, now());
  EXPECT_FALSE(tracker_->currentVisit());
  EXPECT_FALSE(saved()->currentVisit());
  ASSERT_EQ(savedOperationCount(), 1u);
  EXPECT_EQ(paths(), std::vector<std::string>{"/v1/logging/visit?api_token=token"});
  const Json logged = body(0);
  EXPECT_EQ(logged["end_time"], TRUtils::millisecondsSince1970(now()));
  EXPECT_EQ(logged["venue_id"], "V1");
}

}  // namespace
}  // namespace trevalo
