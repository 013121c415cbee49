// The run summary, the HTML report and the recorded run's JSON Lines form, from a hand-made
// run.
#include "simulation/RunSummary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "simulation/HtmlReport.h"
#include "simulation/TraceReadError.h"

namespace trevalo::simulation {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Pair;

constexpr double kT0 = 1717225200.0;  // 2024-06-01T07:00:00Z

RunEvent at(double seconds, RunEvent::Kind kind) {
  RunEvent event;
  event.time = Date(kT0 + seconds);
  event.kind = kind;
  return event;
}

RunEvent mode(double seconds, TRMode mode) {
  RunEvent event = at(seconds, RunEvent::Kind::kMode);
  event.mode = mode;
  return event;
}

RunEvent strategy(double seconds, StrategyType type, LocationServiceState state) {
  RunEvent event = at(seconds, RunEvent::Kind::kStrategy);
  event.strategy = type;
  event.service = std::move(state);
  return event;
}

RunEvent visit(double seconds, RunEvent::Kind kind, std::optional<double> arrival,
               std::optional<double> departure, const char* name) {
  RunEvent event = at(seconds, kind);
  event.visit.venueId = std::string("v-") + name;
  event.visit.venueName = name;
  if (arrival) event.visit.arrival = Date(kT0 + *arrival);
  if (departure) event.visit.departure = Date(kT0 + *departure);
  event.visit.coordinate = Coordinate{48.8512, 2.3524};
  return event;
}

std::vector<MonitoredRegion> sleepRegions() {
  std::vector<MonitoredRegion> regions;
  for (int k = 0; k < 6; ++k) {
    regions.push_back({"tr_geofence" + std::to_string(k), {48.8512 + 0.0001 * k, 2.3524}, 16.0});
  }
  return regions;
}

// An hour: walking, a burst into a visit at a café, geofence sleep, the departure.
RecordedRun hourAtACafe() {
  RecordedRun run;
  run.add(strategy(0, StrategyTypeInitial,
                   {.updating = true, .desiredAccuracy = 10, .headings = true}));
  run.add(mode(100, TRModeWalking));
  run.add(strategy(600, StrategyTypeBurst,
                   {.updating = true, .desiredAccuracy = -1, .headings = true}));
  run.add(mode(600, TRModeBurst));
  run.add(visit(610, RunEvent::Kind::kVisitStart, std::nullopt, std::nullopt, "Early guess"));
  run.add(mode(660, TRModeVisit));
  run.add(visit(700, RunEvent::Kind::kVisitStart, 660, std::nullopt, "Café <Bar> & Co"));
  run.add(visit(701, RunEvent::Kind::kVisitStart, 660, std::nullopt, "Café <Bar> & Co"));
  run.add(strategy(900, StrategyTypeBuildingModeStill,
                   {.updating = true, .desiredAccuracy = 3000, .significantChanges = true}));
  run.add(strategy(1800, StrategyTypeGeofence, {.regions = sleepRegions()}));
  run.add(mode(1800, TRModeGeofence));
  run.add(visit(3000, RunEvent::Kind::kVisitEnd, 660, 2950, "Café <Bar> & Co"));
  run.add(mode(3000, TRModeWalking));
  // A visit that began before the run ends in it.
  run.add(visit(3100, RunEvent::Kind::kVisitEnd, -600, 3100, "Home"));
  for (int i = 0; i < 50; ++i) {
    RunEvent fix = at(3100 + i, RunEvent::Kind::kFix);
    fix.location = Location({48.85, 2.35}, 0, 5, -1, -1, -1, fix.time);
    run.add(fix);
  }
  return run;
}

Trace hourOfFixes() {
  Trace trace;
  for (int t = 0; t <= 3600; t += 10) {
    trace.fixes.emplace_back(Coordinate{48.85 + 0.00001 * t, 2.35}, 0, 5, -1, -1, -1,
                             Date(kT0 + t));
  }
  return trace;
}

TEST(RunSummaryTest, CountsVisitsModesAccuracyFixesAndEnergy) {
  const RunSummary summary = RunSummary::make(hourOfFixes(), hourAtACafe());
  EXPECT_EQ(summary.start, Date(kT0));
  EXPECT_EQ(summary.end, Date(kT0 + 3600));
  // The place-only guess is no visit, and the second report of the café is the same visit.
  ASSERT_EQ(summary.visits.size(), 2u);
  EXPECT_EQ(summary.visits[0].place, "Home");
  EXPECT_EQ(summary.visits[0].dwell, 3700.0);
  EXPECT_EQ(summary.visits[1].place, "Café <Bar> & Co");
  EXPECT_EQ(summary.visits[1].departure, Date(kT0 + 2950));
  EXPECT_EQ(summary.visits[1].dwell, 2290.0);
  EXPECT_THAT(summary.modeSeconds,
              ElementsAre(Pair(TRModeInitial, 100.0), Pair(TRModeWalking, 500.0 + 600.0),
                          Pair(TRModeBurst, 60.0), Pair(TRModeVisit, 1140.0),
                          Pair(TRModeGeofence, 1200.0)));
  EXPECT_THAT(summary.accuracySeconds,
              ElementsAre(Pair(AccuracyClass::kOff, 1800.0), Pair(AccuracyClass::kBest, 300.0),
                          Pair(AccuracyClass::kTenMeters, 600.0),
                          Pair(AccuracyClass::kThreeKilometers, 900.0)));
  EXPECT_EQ(summary.traceFixes, 361u);
  EXPECT_EQ(summary.deliveredFixes, 50u);
  // 10 m with compass 125 mW x 600 s, best with compass 155 mW x 300 s, 3 km with
  // significant changes 12 mW x 900 s, region monitoring 1 mW x 1800 s.
  EXPECT_NEAR(summary.energyJoules, 75.0 + 46.5 + 10.8 + 1.8, 1e-9);
  EXPECT_NEAR(summary.alwaysOnJoules, 540.0, 1e-9);

  const std::string text = summary.text();
  EXPECT_THAT(text, HasSubstr("Visits: 2"));
  // The columns line up by characters, not bytes: the é counts once.
  EXPECT_THAT(text, HasSubstr("  Café <Bar> & Co" + std::string(14, ' ') + "07:11 - 07:49"));
  EXPECT_THAT(text, HasSubstr("Fixes: 50 delivered of 361 in the trace"));
  EXPECT_THAT(text, HasSubstr("Energy: 134 J"));
  EXPECT_THAT(text, HasSubstr("75 % saved"));
  EXPECT_EQ(summary.toJson()["mode_seconds"]["Geofence"], 1200.0);
}

TEST(RunSummaryTest, AnOpenVisitDwellsToTheEndAndAnEmptyRunIsOff) {
  RecordedRun run;
  run.add(visit(60, RunEvent::Kind::kVisitStart, 30, std::nullopt, "Office"));
  const RunSummary summary = RunSummary::make(hourOfFixes(), run);
  ASSERT_EQ(summary.visits.size(), 1u);
  EXPECT_FALSE(summary.visits[0].departure.has_value());
  EXPECT_EQ(summary.visits[0].dwell, 3570.0);
  EXPECT_THAT(summary.accuracySeconds, ElementsAre(Pair(AccuracyClass::kOff, 3600.0)));
  EXPECT_EQ(summary.energyJoules, 0.0);
  EXPECT_THAT(summary.text(), HasSubstr("open"));
}

TEST(RunSummaryTest, AccuracyClassesAndPowerFollowTheServiceState) {
  const PowerModel model;
  const std::pair<LocationServiceState, AccuracyClass> cases[] = {
      {{.updating = false, .desiredAccuracy = -1}, AccuracyClass::kOff},
      {{.updating = true, .desiredAccuracy = -2}, AccuracyClass::kBest},
      {{.updating = true, .desiredAccuracy = 0}, AccuracyClass::kBest},
      {{.updating = true, .desiredAccuracy = 10}, AccuracyClass::kTenMeters},
      {{.updating = true, .desiredAccuracy = 10.5}, AccuracyClass::kHundredMeters},
      {{.updating = true, .desiredAccuracy = 100}, AccuracyClass::kHundredMeters},
      {{.updating = true, .desiredAccuracy = 1000}, AccuracyClass::kKilometer},
      {{.updating = true, .desiredAccuracy = 3000}, AccuracyClass::kThreeKilometers}};
  for (const auto& [state, accuracy] : cases) {
    SCOPED_TRACE(state.desiredAccuracy);
    EXPECT_EQ(PowerModel::classify(state), accuracy);
  }
  EXPECT_EQ(model.satellitePower({.updating = true, .desiredAccuracy = 100}), 0.0);
  EXPECT_EQ(model.satellitePower({.updating = true, .desiredAccuracy = -1, .headings = true}),
            model.best);
  EXPECT_EQ(model.power({.updating = false, .significantChanges = true, .regions = sleepRegions()}),
            model.significantChanges + model.regionMonitoring);
}

TEST(HtmlReportTest, DrawsTheTraceByModeWithVisitsAndSleepRegions) {
  const Trace trace = hourOfFixes();
  const RecordedRun run = hourAtACafe();
  const std::string html =
      HtmlReport::render(trace, run, RunSummary::make(trace, run), {.title = "Day \"one\""});
  const auto count = [&html](const std::string& what) {
    std::size_t n = 0;
    for (auto at = html.find(what); at != std::string::npos; at = html.find(what, at + 1))
      ++n;
    return n;
  };
  EXPECT_THAT(html, HasSubstr("<title>Day &quot;one&quot;</title>"));
  // One stretch of path for each mode in turn, each in its colour.
  EXPECT_EQ(count("<polyline class=\"path\""), 6u);
  for (const TRMode mode : {TRModeInitial, TRModeWalking, TRModeBurst, TRModeVisit, TRModeGeofence})
    EXPECT_THAT(html, HasSubstr(std::string("stroke=\"") + HtmlReport::colour(mode)));
  EXPECT_EQ(count("<circle class=\"sleep\""), 6u);
  EXPECT_EQ(count("<circle class=\"visit\""), 2u);
  // A name is text, never markup; the page runs no script and fetches nothing.
  EXPECT_THAT(html, HasSubstr("Café &lt;Bar&gt; &amp; Co 07:11"));
  EXPECT_THAT(html, Not(HasSubstr("<Bar>")));
  EXPECT_THAT(html, Not(HasSubstr("<script")));
  EXPECT_THAT(html, Not(HasSubstr("src=")));
  EXPECT_THAT(html, Not(HasSubstr("href=")));
  EXPECT_THAT(html, Not(HasSubstr("url(")));
  EXPECT_EQ(count("http"), 2u);  // the two SVG namespace names
  // Every number in the drawing is a finite one.
  EXPECT_THAT(html, Not(HasSubstr("nan")));
  EXPECT_THAT(html, Not(HasSubstr("inf\"")));

  const Trace empty;
  RecordedRun bare;
  bare.add(at(0, RunEvent::Kind::kMode));
  const std::string page = HtmlReport::render(empty, bare, RunSummary::make(empty, bare));
  EXPECT_THAT(page, HasSubstr("The trace has no fixes."));
  EXPECT_THAT(page, HasSubstr("</html>"));
}

TEST(RecordedRunTest, JsonLinesKeepEveryEventWhole) {
  const RecordedRun run = hourAtACafe();
  std::ostringstream out;
  run.writeJsonLines(out);
  const RecordedRun back = RecordedRun::readJsonLines(out.str());
  ASSERT_EQ(back.events.size(), run.events.size());
  for (std::size_t i = 0; i < run.events.size(); ++i) {
    EXPECT_EQ(back.events[i].toJson(), run.events[i].toJson()) << i;
  }
  EXPECT_EQ(back.events[9].service.regions, sleepRegions());
  EXPECT_EQ(back.events[6].visit.venueName, "Café <Bar> & Co");
  EXPECT_EQ(back.events[6].toJson()["event"], "didStartVisit");

  const std::pair<const char*, const char*> bad[] = {
      {R"({"t": 5, "event": "mode", "mode": 1})", "back in time"},
      {R"({"t": 20, "event": "teleport"})", "unknown \"event\""},
      {R"({"t": 20, "event": "didStartVisit"})", "missing \"visit\""},
      {R"({"t": 20, "event": "strategy", "strategy": 8, "updating": 1})", "Boolean"},
      {R"({"t": 20, "event": "mode")", "not valid JSON"}};
  for (const auto& [line, message] : bad) {
    SCOPED_TRACE(line);
    try {
      RecordedRun::readJsonLines(std::string(R"({"t": 10, "event": "mode", "mode": 1})") + "\n" +
                                 line + "\n");
      FAIL();
    } catch (const TraceReadError& error) {
      EXPECT_EQ(error.line(), 2u);
      EXPECT_THAT(error.what(), HasSubstr(message));
    }
  }
}

}  // namespace
}  // namespace trevalo::simulation
