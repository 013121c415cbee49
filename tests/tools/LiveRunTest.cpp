// The SDK live, end to end, every piece real: gpsfake replays a receiver's log into gpsd, `trevalo
// run` takes its fixes and talks through the curl transport to `trevalo serve` on loopback.
// The log holds a stay of a few minutes at a quay (tests/data/nmea/bundg-stay.log): the SDK
// must stop there, resolve the stay to the quay through the service, and report the visit;
// started again on the same files it relaunches. It takes as long as the SDK's own timers
// (about four minutes): the test carries the CTest label "long".
//
// The visit is not logged to the service: the SDK logs a visit when it confirms the departure,
// which needs walking seen in the last two minutes (motion activity, or a monitored region left
// in geofence sleep), and a Linux machine without motion sensors has neither.
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
using testing::ToolProcess;

// A quay where the boat of the log lies still.
const char* kVenues = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "id": "quay",
   "properties": {"name": "Quay", "category": "travel", "address_id": "a-quay",
                  "locality": "Lemmer", "country": "Netherlands", "country_code": "NL"},
   "geometry": {"type": "Point", "coordinates": [5.31292, 52.84983]}}]})";

std::string readFile(const std::filesystem::path& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

bool waitForText(const std::filesystem::path& file, const std::string& text,
                 std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (readFile(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

TEST(LiveRunTest, AStayOnTheReceiverBecomesAVisitAtTheServicesVenueAndARestartRelaunches) {
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

  // Three sentences a fix: one fix a second, as the receiver gave them. A short lead-in: the
  // SDK connects within a few seconds.
  Gpsfake gpsd(std::filesystem::path(TREVALO_TEST_DATA_DIR) / "nmea" / "bundg-stay.log", 1.0 / 3.0,
               30);
  const std::vector<std::string> runArguments = {
      TREVALO_TOOL, "run",       "--gpsd",     "127.0.0.1:" + gpsd.port(), "--service", url,
      "--token",    "e2e-token", "--data-dir", (here / "sdk").string()};
  std::vector<Json> events;
  const auto arrived = [](const Json& event) {
    return event["event"] == "didStartVisit" && !event["visit"]["arrival"].is_null();
  };
  {
    ToolProcess run(runArguments, here / "run.err");
    const auto deadline = std::chrono::steady_clock::now() + 8min;
    while (std::chrono::steady_clock::now() < deadline) {
      const auto line = run.readLine(5s);
      if (!line) continue;
      events.push_back(Json::parse(*line));
      if (arrived(events.back())) break;
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
  ASSERT_FALSE(events.empty());
  ASSERT_TRUE(arrived(events.back())) << readFile(here / "run.err");
  const Json& visit = events.back()["visit"];
  EXPECT_EQ(visit["venue_id"], "quay");
  EXPECT_EQ(visit["name"], "Quay");
  EXPECT_EQ(visit["address_id"], "a-quay");
  // The fixes the application saw are the log's, as gpsd mapped them.
  for (const Json& event : events) {
    if (event["event"] != "didUpdateLocation") continue;
    EXPECT_NEAR(event["lat"].get<double>(), 52.8498, 0.001);
    EXPECT_NEAR(event["lng"].get<double>(), 5.3129, 0.002);
    EXPECT_GE(event["time"].get<double>(), 1534758457.0);  // 2018-08-20T09:47:37Z
  }

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
  // The stay went to the service: its point and its collected points, both answered.
  const std::string log = readFile(here / "serve.err");
  EXPECT_THAT(log, HasSubstr("GET /v1/geocode/reverse_geocode?lat=52.849"));
  EXPECT_THAT(log, HasSubstr("POST /v1/geocode/reverse_geocode?api_token=*** 200"));
  // The database is whole after the signal, and holds nothing but what the SDK sent.
  EXPECT_TRUE(service::ServiceStore(database.string()).visits().empty());
}

}  // namespace
}  // namespace trevalo
