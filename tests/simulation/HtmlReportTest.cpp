// The HTML report: self-contained, the map's path by mode, visits, sleep regions, timeline.
#include "simulation/HtmlReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

namespace trevalo::simulation {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr double kT0 = 1717225200.0;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

RunEvent event(double seconds, RunEvent::Kind kind) {
  RunEvent e;
  e.time = Date(kT0 + seconds);
  e.kind = kind;
  return e;
}

TEST(HtmlReportTest, DrawsTheTraceByModeWithVisitsAndSleepRegions) {
  Trace trace;
  for (int t = 0; t <= 1200; t += 5) {
    trace.fixes.emplace_back(Coordinate{48.85 + 0.00002 * t, 2.35 + 0.00001 * t}, 0, 5, -1, -1, -1,
                             Date(kT0 + t));
  }
  RecordedRun run;
  RunEvent walking = event(0, RunEvent::Kind::kMode);
  walking.mode = TRModeWalking;
  run.add(walking);
  RunEvent car = event(600, RunEvent::Kind::kMode);
  car.mode = TRModeCar;
  run.add(car);
  RunEvent sleep = event(900, RunEvent::Kind::kStrategy);
  sleep.strategy = StrategyTypeGeofence;
  for (int k = 0; k < 6; ++k) {
    sleep.service.regions.push_back(
        {"tr_geofence" + std::to_string(k), {48.86 + 0.0002 * k, 2.36}, 16.0});
  }
  run.add(sleep);
  RunEvent arrival = event(1000, RunEvent::Kind::kVisitStart);
  arrival.visit.venueName = "Café <script>alert(1)</script> & Co";
  arrival.visit.arrival = Date(kT0 + 950);
  run.add(arrival);

  const RunSummary summary = RunSummary::make(trace, run);
  const std::string html = HtmlReport::render(trace, run, summary, {.title = "Day \"one\""});
  EXPECT_THAT(html, HasSubstr("<title>Day &quot;one&quot;</title>"));
  // One stretch of path in each mode, each in its colour.
  EXPECT_EQ(count(html, "<polyline class=\"path\""), 2u);
  EXPECT_THAT(html, HasSubstr(std::string("stroke=\"") + HtmlReport::colour(TRModeWalking)));
  EXPECT_THAT(html, HasSubstr(std::string("stroke=\"") + HtmlReport::colour(TRModeCar)));
  EXPECT_EQ(count(html, "<circle class=\"sleep\""), 6u);
  EXPECT_EQ(count(html, "<circle class=\"visit\""), 1u);
  EXPECT_THAT(html, HasSubstr("Café &lt;script&gt;alert(1)&lt;/script&gt; &amp; Co 07:15"));
  EXPECT_THAT(html, Not(HasSubstr("<script")));
  // Nothing is fetched to show it.
  EXPECT_THAT(html, Not(HasSubstr("src=")));
  EXPECT_THAT(html, Not(HasSubstr("href=")));
  EXPECT_THAT(html, Not(HasSubstr("url(")));
  EXPECT_EQ(count(html, "http"), 2u);  // the two SVG namespace names
  EXPECT_THAT(html, HasSubstr("GPS power"));
  EXPECT_THAT(html, HasSubstr("<h2>Summary</h2>"));
  // Every number in the drawing is a finite one.
  EXPECT_THAT(html, Not(HasSubstr("nan")));
  EXPECT_THAT(html, Not(HasSubstr("inf\"")));
}

TEST(HtmlReportTest, ATraceWithoutFixesStillMakesAPage) {
  const Trace trace;
  RecordedRun run;
  run.add(event(0, RunEvent::Kind::kMode));
  const std::string html = HtmlReport::render(trace, run, RunSummary::make(trace, run));
  EXPECT_THAT(html, HasSubstr("The trace has no fixes."));
  EXPECT_THAT(html, HasSubstr("</html>"));
}

}  // namespace
}  // namespace trevalo::simulation
