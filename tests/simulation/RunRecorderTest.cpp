// The recorder as the delegate of a facade on a simulated platform: what the application hears
// and what the facade asks of the location manager, as the lines of a recorded run.
#include "simulation/RunRecorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "facade/FacadeTestSupport.h"
#include "simulation/RecordedRun.h"
#include "trevalo/model/TRAddress.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRVenue.h"

namespace trevalo::simulation {
namespace {

using testing::kIndoors;
using testing::metres;

using Kind = RunEvent::Kind;

const Json kCafe = {{"venue", {{"id", "v1"}, {"name", "Cafe"}, {"category", "food"}}},
                    {"address", {{"id", "a1"}, {"location", {{"lat", 48.85}, {"lng", 2.35}}}}}};

class RunRecorderTest : public testing::FacadeTest {
 protected:
  void SetUp() override {
    testing::FacadeTest::SetUp();
    recorder->attach(trevalo);
  }
  void startRecording() {
    trevalo->startWithApiToken("token", recorder, std::nullopt);
    runUntilIdle();
  }
  std::vector<RunEvent> ofKind(Kind kind) const {
    std::vector<RunEvent> found;
    for (const RunEvent& event : run.events) {
      if (event.kind == kind) found.push_back(event);
    }
    return found;
  }

  RecordedRun run;
  std::shared_ptr<RunRecorder> recorder =
      std::make_shared<RunRecorder>([this](const RunEvent& event) { run.add(event); });
};

TEST_F(RunRecorderTest, AVisitCarriesItsPlaceAndAStrategyComesOnlyWhenItOrTheStateChanges) {
  startRecording();
  deliver({fixAt(metres(0, 0)), fixAt(metres(0, 5))});
  EXPECT_EQ(ofKind(Kind::kLocation).size(), 2u);
  auto visit = std::make_shared<TRVisit>();
  visit->place = TRPlace::initWithDictionary(kCafe);
  visit->arrivalDate = now().dateByAddingTimeInterval(-60.0);
  recorder->trevaloDidStartVisit(*trevalo, visit);
  const auto visits = ofKind(Kind::kVisitStart);
  ASSERT_EQ(visits.size(), 1u);
  EXPECT_EQ(visits[0].visit.arrival, now().dateByAddingTimeInterval(-60.0));
  EXPECT_EQ(visits[0].visit.placeName(), "Cafe");
  EXPECT_EQ(visits[0].visit.venueId, "v1");
  EXPECT_EQ(visits[0].visit.addressId, "a1");
  EXPECT_EQ(visits[0].visit.category, "food");
  ASSERT_TRUE(visits[0].visit.coordinate.has_value());
  EXPECT_EQ(visits[0].visit.coordinate->latitude, 48.85);

  // The state the location service was left in by each strategy, and only when the strategy or
  // the state changed: the keep-alive loop's ticks re-apply the same strategy unreported.
  machine().changeStrategy(StrategyTypeBurst, {});
  advanceBy(20.0);
  // The start's: the first tick's all-zero record of the unset machine, then Initial.
  const auto strategies = ofKind(Kind::kStrategy);
  ASSERT_EQ(strategies.size(), 3u);
  EXPECT_EQ(strategies[0].strategy, StrategyTypeUnset);
  EXPECT_EQ(strategies[1].strategy, StrategyTypeInitial);
  EXPECT_EQ(strategies[2].strategy, StrategyTypeBurst);
  EXPECT_TRUE(strategies[2].service.updating);
  EXPECT_EQ(strategies[2].service.desiredAccuracy, -1.0);
  EXPECT_EQ(strategies[2].service.distanceFilter, -1.0);
}

TEST_F(RunRecorderTest, CallbacksCarryTheirContentAndOthersEventsFallInLine) {
  startRecording();
  const std::size_t before = run.events.size();
  auto geofence = TRGeofence::initWithCoordinate({48.0, 2.0}, 120.0);
  geofence->venue = TRVenue::initWithDictionary(Json{{"id", "v9"}, {"name", "Market"}});
  recorder->trevaloDidEnterRegion(*trevalo, geofence);
  recorder->trevaloDidExitRegion(*trevalo, geofence);
  recorder->trevaloChangeRegion(*trevalo, "exited region tr_geofence3");
  recorder->trevaloWillChangeActivityMode(*trevalo, TRActivityModeAutomotive);
  recorder->trevaloDidFailWithError(*trevalo, Error("kCLErrorDomain", 1));
  recorder->trevaloDidEndVisit(*trevalo, std::make_shared<TRVisit>());
  RunEvent fix;
  fix.kind = Kind::kFix;
  fix.time = now();
  fix.location = fixAt(metres(0, 0), kIndoors);
  recorder->record(fix);

  ASSERT_EQ(run.events.size(), before + 7);
  const auto& enter = run.events[before];
  EXPECT_EQ(enter.kind, Kind::kGeofenceEnter);
  EXPECT_EQ(enter.visit.placeName(), "Market");
  ASSERT_TRUE(enter.geofence.has_value());
  EXPECT_EQ(enter.geofence->identifier, "v9");
  EXPECT_EQ(enter.geofence->radius, 120.0);
  EXPECT_EQ(run.events[before + 1].kind, Kind::kGeofenceExit);
  EXPECT_EQ(run.events[before + 2].text, "exited region tr_geofence3");
  EXPECT_EQ(run.events[before + 3].activity, TRActivityModeAutomotive);
  EXPECT_EQ(run.events[before + 4].kind, Kind::kError);
  EXPECT_FALSE(run.events[before + 4].text.empty());
  EXPECT_EQ(run.events[before + 5].visit.placeName(), "unknown place");
  EXPECT_EQ(run.events[before + 6].kind, Kind::kFix);
  for (std::size_t i = before; i < run.events.size(); ++i)
    EXPECT_EQ(run.events[i].time, now());
}

TEST_F(RunRecorderTest, AGoneRecorderHearsNothingMore) {
  startRecording();
  const std::size_t before = run.events.size();
  recorder.reset();
  walk(metres(0, 0), metres(0, 280), 200.0);
  EXPECT_EQ(run.events.size(), before);
}

}  // namespace
}  // namespace trevalo::simulation
