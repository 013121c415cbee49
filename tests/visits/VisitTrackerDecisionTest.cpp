#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "utils/TRUtils.h"
#include "visits/VisitTestSupport.h"

namespace trevalo {
namespace {

using testing::CaseName;
using testing::PrintTo;
using testing::VisitTrackerTest;

constexpr double kHour = 3600.0;

struct Visit {
  const char* place;  // its identity; none: no visit at all
  double start;       // hours after the test's start
  std::optional<double> end = std::nullopt;
};

// One resolution reaching the tracker. Visits read "<identity> <start>-<end>" in hours (no end
// for an open visit); logged visits add "@<end of the log descriptor>"; lists are joined by
// "; ".
struct DecisionCase {
  const char* name;
  Visit current;
  Visit answer;  // the resolved place and the start of its stay
  double now;    // when the answer arrives
  std::string reported;
  std::string currentAfter;
  std::string logged;
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
  static void append(std::string& list, const std::string& item) {
    list += (list.empty() ? "" : "; ") + item;
  }

  Date start_;
};

TEST_P(VisitTrackerDecisionTest, DecidesBetweenContinuingAndStartingAVisit) {
  const auto& c = GetParam();
  start_ = now();
  if (c.current.place) {
    tracker_->assignNewCurrentVenue(testing::placeWith(c.current.place, ""), at(c.current.start));
    if (c.current.end) tracker_->updateDepartureDate(at(*c.current.end));
  }
  advanceBy(c.now * kHour);

  tracker_->handleCurrentVisitWithnewRsult(testing::placeWith(c.answer.place, ""),
                                           at(c.answer.start));
  runUntilIdle();

  std::string reported;
  for (const auto& event : delegate_->events)
    append(reported, event.kind + " " + text(*event.visit, event.endDate));
  EXPECT_EQ(reported, c.reported);

  for (const auto& current : {tracker_->currentVisit(), saved()->currentVisit()}) {
    ASSERT_TRUE(current);
    EXPECT_EQ(text(*current, current->endDate()), c.currentAfter);
  }

  std::string logged;
  for (const auto& operation : tracker_->operationsQueue()) {
    const auto departure = std::dynamic_pointer_cast<MetaOperationDepart>(operation);
    ASSERT_TRUE(departure);
    append(logged, text(*departure->visit(), departure->visit()->endDate()) + " @" +
                       hours(departure->endDate()));
  }
  EXPECT_EQ(logged, c.logged);
  EXPECT_EQ(transport().sentCount(), tracker_->operationsQueue().size());
  EXPECT_EQ(savedOperationCount(), tracker_->operationsQueue().size());
}

const DecisionCase kDecisions[] = {
    {"FirstVisit", {}, {"A1", 2}, 2, "start A1 2-", "A1 2-", ""},
    // Seen again just within 12 hours of its recorded end, the visit goes on, open again.
    {"SamePlaceJustWithin12HoursOfItsEnd", {"A1", 0, 1}, {"A1", 12.99}, 13, "", "A1 0-", ""},
    // Twelve hours after it, it is a new visit; the old one keeps the end it had and the log
    // descriptor carries the new start.
    {"SamePlace12HoursAfterItsEnd",
     {"A1", 0, 1},
     {"A1", 13},
     13,
     "end A1 0-1; start A1 13-",
     "A1 13-",
     "A1 0-1 @13"},
    {"AnotherPlace", {"A1", 0}, {"A2", 3}, 3, "end A1 0-3; start A2 3-", "A2 3-", "A1 0-3 @3"},
    {"AnotherPlaceAfterARecordedEnd",
     {"A1", 0, 1},
     {"A2", 3},
     3,
     "end A1 0-1; start A2 3-",
     "A2 3-",
     "A1 0-1 @3"},
    // A stay that began with the open visit is that visit, not an earlier one.
    {"SameStartAsTheOpenVisit", {"A1", 2}, {"A1", 2}, 3, "", "A1 2-", ""},
    // Logged as ending where the open visit began, never overlapping it.
    {"AnswerOlderThanTheOpenVisit", {"A1", 5}, {"A2", 1}, 6, "", "A1 5-", "A2 1-5 @5"},
};
INSTANTIATE_TEST_SUITE_P(Table, VisitTrackerDecisionTest, ::testing::ValuesIn(kDecisions),
                         CaseName());

TEST_F(VisitTrackerTest, ADepartureLogsTheWholeVisitAndClearsIt) {
  platform().advertisingIdentifierText().set("AD-ID");
  platform().application().setBundleIdentifier("com.example.app");
  platform().device().overrideIdentifierForVendor("VENDOR-ID");
  tracker_->assignNewCurrentVenue(
      TRPlace::initWithDictionary(testing::readModelJson("reverse_geocode.json")), now());
  advanceBy(4 * kHour + 0.2509);  // sent truncated to whole milliseconds: .250
  tracker_->endVisit(now());
  runUntilIdle();

  ASSERT_EQ(delegate_->events.size(), 1u);
  EXPECT_EQ(delegate_->events[0].kind, "end");
  EXPECT_FALSE(saved()->currentVisit());
  ASSERT_EQ(savedOperationCount(), 1u);
  // The log works on a copy of its own, read on a queue thread while the delegate may change
  // the record it was told of.
  const auto departure =
      std::dynamic_pointer_cast<MetaOperationDepart>(tracker_->operationsQueue().at(0));
  EXPECT_NE(departure->visit(), delegate_->events[0].visit);

  EXPECT_EQ(paths(), std::vector<std::string>{testing::kLogPath});
  // Every member, in this order; times in milliseconds.
  Json expected = Json::parse(R"({"address_id": "a-1009", "app_opened": true,
      "bundle_id": "com.example.app", "device_id": "AD-ID", "vendor_id": "VENDOR-ID",
      "start_time": 1767225600000, "end_time": 1767240000250, "geometry_id": "g-77",
      "lat": 40.741895, "lng": -73.989308, "sdk_version": "", "venue_id": "v-5821"})");
  expected["sdk_version"] = *TRUtils::version();
  EXPECT_EQ(body(0).dump(), expected.dump());
}

}  // namespace
}  // namespace trevalo
