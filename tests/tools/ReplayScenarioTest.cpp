// Whole replays in virtual time: the SDK on a replayed device against the embedded reference
// service, on the bundled example day and on days made for one story each.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ReplayRun.h"
#include "service/ReferenceService.h"
#include "service/ServiceStore.h"
#include "simulation/RunEvent.h"
#include "simulation/TraceReader.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/utils/TRActivityMode.h"

namespace trevalo::tools {
namespace {

using simulation::RunEvent;
using Kind = RunEvent::Kind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr double kMetresPerDegree = 111195.0;
constexpr double kDayStart = 1717390800.0;  // 2024-06-03T05:00:00Z

struct Point {
  double latitude, longitude;
};

Point moved(Point p, double north, double east) {
  return {p.latitude + north / kMetresPerDegree,
          p.longitude + east / (kMetresPerDegree * std::cos(p.latitude * M_PI / 180.0))};
}

double metresBetween(Point a, Point b) {
  const double north = (b.latitude - a.latitude) * kMetresPerDegree;
  const double east =
      (b.longitude - a.longitude) * kMetresPerDegree * std::cos(a.latitude * M_PI / 180.0);
  return std::hypot(north, east);
}

// A day written as a JSON Lines trace, one fix a second: indoor stays drift tens of metres
// without speed or course, movements go straight between points at a given speed.
class DayBuilder {
 public:
  explicit DayBuilder(double start = kDayStart) : t_(start), random_(7) {}

  DayBuilder& stay(Point where, double seconds) {
    line("wifi", ",\"ssid\":null");
    line("activity", ",\"value\":1");
    std::normal_distribution<double> noise(0.0, 8.0);
    for (double end = t_ + seconds; t_ < end; t_ += 1.0) {
      fix(moved(where, noise(random_), noise(random_)), 35.0, std::nullopt);
    }
    position_ = where;
    return *this;
  }
  // Straight to `to` at `speed` m/s, halting `halt` seconds at each of `halts` (fractions of
  // the way), as at red lights.
  DayBuilder& go(Point to, double speed, std::vector<double> halts = {}, double halt = 0.0) {
    line("wifi", ",\"ssid\":null");
    line("activity", speed > 3.0 ? ",\"value\":5" : ",\"value\":2");
    const Point from = position_;
    const double length = metresBetween(from, to);
    std::normal_distribution<double> noise(0.0, 3.0);
    std::size_t nextHalt = 0;
    for (double done = 0.0; done < length; done += speed, t_ += 1.0) {
      const double part = done / length;
      const Point here{from.latitude + part * (to.latitude - from.latitude),
                       from.longitude + part * (to.longitude - from.longitude)};
      if (nextHalt < halts.size() && part >= halts[nextHalt]) {
        for (double waited = 0.0; waited < halt; waited += 1.0, t_ += 1.0)
          fix(moved(here, noise(random_), noise(random_)), 8.0, 0.0);
        ++nextHalt;
      }
      fix(moved(here, noise(random_), noise(random_)), 8.0, speed);
    }
    position_ = to;
    return *this;
  }

  void write(const std::filesystem::path& path) const { std::ofstream(path) << text_; }

 private:
  void line(const char* type, const std::string& rest) {
    text_ += "{\"t\":" + std::to_string(static_cast<long long>(t_)) + ",\"type\":\"" + type + "\"" +
             rest + "}\n";
  }
  void fix(Point p, double accuracy, std::optional<double> speed) {
    char text[200];
    std::snprintf(text, sizeof text, ",\"lat\":%.6f,\"lng\":%.6f,\"acc\":%.0f", p.latitude,
                  p.longitude, accuracy);
    std::string rest = text;
    if (speed) rest += ",\"speed\":" + std::to_string(*speed);
    line("fix", rest);
  }

  double t_;
  std::mt19937_64 random_;
  Point position_{0, 0};
  std::string text_;
};

const Point kHome{48.8430, 2.3390};
const char* const kVenues = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "id": "home", "properties": {"name": "Home", "category": "residence"},
   "geometry": {"type": "Point", "coordinates": [2.3390, 48.8430]}}]})";

class ReplayScenarioTest : public ::testing::Test {
 protected:
  // Replays `trace` (a file) against the given venues.
  ReplayRun& replay(const std::filesystem::path& trace, const std::filesystem::path& venues) {
    ReplayRun::Settings settings;
    settings.tracePath = trace;
    settings.venuesPath = venues;
    settings.databasePath = directory.path() / "service.sqlite";
    run_.emplace(settings);
    run_->play();
    return *run_;
  }
  ReplayRun& replay(const DayBuilder& day) {
    day.write(directory.path() / "day.jsonl");
    std::ofstream(directory.path() / "venues.geojson") << kVenues;
    return replay(directory.path() / "day.jsonl", directory.path() / "venues.geojson");
  }

  std::vector<RunEvent> events(Kind kind) const {
    std::vector<RunEvent> found;
    for (const RunEvent& event : run_->recordedRun().events) {
      if (event.kind == kind) found.push_back(event);
    }
    return found;
  }
  // The place of each visit the summary lists.
  std::vector<std::string> visits() {
    std::vector<std::string> result;
    for (const auto& visit : run_->summary().visits)
      result.push_back(visit.place);
    return result;
  }

  testing::TemporaryDirectory directory;
  std::optional<ReplayRun> run_;
};

// The bundled day: its four stays, each named after its venue, and nothing else; every visit
// that ended was logged with the service, which keeps them in its store.
TEST_F(ReplayScenarioTest, TheExampleDayGivesItsVisitsAndTheStoreKeepsThem) {
  const std::filesystem::path examples = TREVALO_SOURCE_DIR "/examples";
  ReplayRun& run = replay(examples / "day.jsonl", examples / "venues.geojson");
  EXPECT_THAT(visits(), ElementsAre("Home", "Café Lumière", "Northgate Office", "Home"));
  const auto& summary = run.summary().visits;
  ASSERT_EQ(summary.size(), 4u);
  for (std::size_t i = 0; i + 1 < summary.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(summary[i].departure.has_value());
    EXPECT_LT(*summary[i].departure, summary[i + 1].arrival);
  }
  EXPECT_FALSE(summary.back().departure.has_value());
  // The café: 32 minutes inside, arrived a quarter of an hour after leaving home.
  EXPECT_GT(summary[1].dwell, 20 * 60.0);
  EXPECT_LT(summary[1].dwell, 40 * 60.0);

  // The store holds each ended visit as the SDK sent it, with the venue the service named.
  const auto logged = run.service()->store().visits();
  std::vector<std::string> venues;
  for (const auto& visit : logged)
    venues.push_back(visit.venueId);
  EXPECT_THAT(venues, ElementsAre("home", "cafe-lumiere", "office"));
  for (std::size_t i = 0; i < logged.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(logged[i].startMilliseconds,
              std::llround(summary[i].arrival.timeIntervalSince1970() * 1000.0));
    EXPECT_EQ(logged[i].endMilliseconds,
              std::llround(summary[i].departure->timeIntervalSince1970() * 1000.0));
    EXPECT_EQ(logged[i].body["venue_id"], logged[i].venueId);
    EXPECT_FALSE(logged[i].deviceId.empty());
  }
  // And the file outlives the run: a second store on it reads the same rows.
  EXPECT_EQ(service::ServiceStore((directory.path() / "service.sqlite").string()).visits(), logged);
}

// Half an hour through town: corners, red lights and a jam, never out of the car.
TEST_F(ReplayScenarioTest, ADriveThroughACityIsNoVisit) {
  DayBuilder day;
  day.stay(kHome, 0.0);
  Point at = kHome;
  const double legs[][2] = {{900, 0}, {0, 1200}, {-600, 0}, {0, 1500}, {1100, 0}, {0, -700}};
  for (const auto& leg : legs) {
    at = moved(at, leg[0], leg[1]);
    day.go(at, 9.0, {0.5}, 45.0);
  }
  at = moved(at, 300, 0);
  day.go(at, 1.5);  // a jam at walking pace
  at = moved(at, 800, 800);
  day.go(at, 12.0, {0.3, 0.8}, 60.0);
  replay(day);
  EXPECT_THAT(visits(), IsEmpty());
  EXPECT_THAT(events(Kind::kVisitStart), IsEmpty());
  // The application heard that the user drives.
  const auto activities = events(Kind::kActivity);
  EXPECT_TRUE(std::any_of(activities.begin(), activities.end(), [](const RunEvent& event) {
    return event.activity == TRActivityModeAutomotive;
  }));
}

}  // namespace
}  // namespace trevalo::tools
