// The SDK live, end to end, every piece real: gpsfake replays a receiver's log into gpsd, `trevalo
// run` takes its fixes and talks through the curl transport to `trevalo serve` on loopback.
// The log (tests/data/nmea/bundg-stay.log, made by scripts/make-stay-log.py 20 480 6) holds a
// boat moored at a quay for eight minutes, then sailing away for thirteen: the SDK must stop
// there, resolve the stay to the quay through the service, see the boat leave by its speed
// (Linux has no motion sensors), and log the visit to the service; started again on the same
// files it relaunches. The SDK's own timers need twenty minutes of its time for that: the log
// is played at ten times its pace with the SDK's clock ten times fast, about two minutes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "ToolProcess.h"
#include "platform/Gpsfake.h"
#include "service/ServiceStore.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/Json.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::Gpsfake;
using ::testing::HasSubstr;
using testing::readFile;
using testing::ToolProcess;

// A quay where the boat of the log lies still.
const char* kVenues = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "id": "quay",
   "properties": {"name": "Quay", "category": "travel", "address_id": "a-quay",
                  "locality": "Lemmer", "country": "Netherlands", "country_code": "NL"},
   "geometry": {"type": "Point", "coordinates": [5.31292, 52.84983]}}]})";

bool waitForText(const std::filesystem::path& file, const std::string& text,
                 std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (readFile(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

TEST(LiveRunTest, AStayOnTheReceiverIsLoggedAsAVisitAtTheServicesVenueAndARestartRelaunches) {
  if (const auto why = Gpsfake::unavailableReason()) GTEST_SKIP() << *why;
  testing::TemporaryDirectory directory;
  const auto& here = directory.path();
  std::ofstream(here / "venues.geojson") << kVenues;
  const auto database = here / "service.sqlite";

  ToolProcess serve(
      {TREVALO_TOOL, "serve", "--port", "0", "--venues", (here / "venues.geojson").string(), "--db",
       database.string(), "--token", "e2e-token"},
      here / "serve.err");
  const auto listening = serve.readLine(30s);
  ASSERT_TRUE(listening) << readFile(here / "serve.err");
  std::smatch found;
  ASSERT_TRUE(std::regex_search(*listening, found, std::regex(R"(http://[0-9.:]+)")));
  const std::string url = found[0];

  // Three sentences a fix, ten fixes a second. The lead-in (ten seconds) gives `trevalo run`
  // time to connect.
  constexpr int kRate = 10;
  Gpsfake gpsd(std::filesystem::path(TREVALO_TEST_DATA_DIR) / "nmea" / "bundg-stay.log",
               1.0 / (3.0 * kRate));
  const std::vector<std::string> runArguments = {TREVALO_TOOL,   "run",
                                                 "--gpsd",       "127.0.0.1:" + gpsd.port(),
                                                 "--service",    url,
                                                 "--token",      "e2e-token",
                                                 "--data-dir",   (here / "sdk").string(),
                                                 "--clock-rate", std::to_string(kRate)};
  std::vector<Json> events;
  {
    ToolProcess run(runArguments, here / "run.err");
    const auto deadline = std::chrono::steady_clock::now() + 6min;
    while (std::chrono::steady_clock::now() < deadline) {
      const auto line = run.readLine(5s);
      if (!line) continue;
      events.push_back(Json::parse(*line));
      if (events.back()["event"] == "didEndVisit") break;
    }
    run.signal(SIGINT);
    EXPECT_EQ(run.wait(60s), 0) << readFile(here / "run.err");
  }
  EXPECT_THAT(readFile(here / "run.err"), HasSubstr("trevalo run: started"));
  const auto count = [&](const char* name) {
    return std::count_if(events.begin(), events.end(),
                         [&](const Json& event) { return event["event"] == name; });
  };
  EXPECT_GT(count("didUpdateLocation"), 10);
  EXPECT_GT(count("strategy"), 2);
  // Still at the quay, then on the way: the receiver's speed told both, through the system
  // platform's classifier on gpsd's fixes.
  const auto activity = [&](int mode) {
    return std::any_of(events.begin(), events.end(), [&](const Json& event) {
      return event["event"] == "willChangeActivityMode" && event["activity"] == mode;
    });
  };
  EXPECT_TRUE(activity(1));
  EXPECT_TRUE(activity(2));
  ASSERT_FALSE(events.empty());
  ASSERT_EQ(events.back()["event"], "didEndVisit") << readFile(here / "run.err");
  const Json& visit = events.back()["visit"];
  EXPECT_EQ(visit["venue_id"], "quay");
  EXPECT_EQ(visit["name"], "Quay");
  EXPECT_EQ(visit["address_id"], "a-quay");
  ASSERT_TRUE(visit["arrival"].is_number());
  ASSERT_TRUE(visit["departure"].is_number());
  // Eight minutes moored; the departure is confirmed once the boat is well away.
  const double stayed = visit["departure"].get<double>() - visit["arrival"].get<double>();
  EXPECT_GT(stayed, 60.0);
  EXPECT_LT(stayed, 1500.0);

  // Started again on the same files, the SDK takes up from where it was.
  {
    ToolProcess run(runArguments, here / "relaunch.err");
    EXPECT_TRUE(waitForText(here / "relaunch.err", "relaunched", 60s))
        << readFile(here / "relaunch.err");
    run.signal(SIGINT);
    EXPECT_EQ(run.wait(60s), 0) << readFile(here / "relaunch.err");
  }

  serve.signal(SIGTERM);
  EXPECT_EQ(serve.wait(30s), 0);
  // The stay went to the service: its point and its collected points, both answered, then
  // the visit itself.
  const std::string log = readFile(here / "serve.err");
  EXPECT_THAT(log, HasSubstr("GET /v1/geocode/reverse_geocode?lat=52.849"));
  EXPECT_THAT(log, HasSubstr("POST /v1/geocode/reverse_geocode?api_token=*** 200"));
  // Sent once: the run that logged it stopped only once the answer was in, so the next run
  // had nothing to send again.
  const auto logVisit = log.find("POST /v1/logging/visit?api_token=*** 200");
  ASSERT_NE(logVisit, std::string::npos) << log;
  EXPECT_EQ(log.find("POST /v1/logging/visit", logVisit + 1), std::string::npos) << log;
  // The database is whole after the signal and holds the visit as the application saw it.
  const auto logged = service::ServiceStore(database.string()).visits();
  ASSERT_EQ(logged.size(), 1u) << log;
  EXPECT_EQ(logged[0].venueId, "quay");
  EXPECT_EQ(logged[0].addressId, "a-quay");
  EXPECT_NEAR(logged[0].latitude, 52.8498, 0.001);
  EXPECT_NEAR(logged[0].longitude, 5.3129, 0.002);
  EXPECT_NEAR(static_cast<double>(logged[0].startMilliseconds),
              visit["arrival"].get<double>() * 1000.0, 1.0);
  EXPECT_NEAR(static_cast<double>(logged[0].endMilliseconds),
              visit["departure"].get<double>() * 1000.0, 1.0);
}

}  // namespace
}  // namespace trevalo
