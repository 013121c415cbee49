// The SDK live, end to end, every piece real: gpsfake replays a receiver's log into gpsd, `trevalo
// run` takes its fixes and talks through the curl transport to `trevalo serve` on loopback.
// The log holds a stay of a few minutes (tests/data/nmea/bundg-stay.log), which must end up as
// a visit in the service's SQLite file. It takes as long as the SDK's own timers (about five
// minutes): the test carries the CTest label "long".
#include <gtest/gtest.h>
#include <signal.h>

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

TEST(LiveRunTest, AStayOnTheReceiverBecomesAVisitInTheServiceAndARestartRelaunches) {
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
  {
    ToolProcess run(runArguments, here / "run.err");
    const auto deadline = std::chrono::steady_clock::now() + 9min;
    while (std::chrono::steady_clock::now() < deadline) {
      const auto line = run.readLine(5s);
      if (!line) continue;
      events.push_back(Json::parse(*line));
      if (events.back()["event"] == "didEndVisit") break;
    }
    // The visit is logged as it ends, through the transport: give the request time to land.
    EXPECT_TRUE(waitForText(here / "serve.err", "POST /v1/logging/visit?api_token=*** 200", 60s))
        << readFile(here / "serve.err");
    run.signal(SIGINT);
    EXPECT_EQ(run.wait(30s), 0) << readFile(here / "run.err");
  }
  const auto named = [&](const char* name) {
    std::vector<Json> matching;
    for (const Json& event : events) {
      if (event["event"] == name) matching.push_back(event);
    }
    return matching;
  };
  EXPECT_FALSE(named("didUpdateLocation").empty());
  EXPECT_FALSE(named("strategy").empty());
  const auto starts = named("didStartVisit");
  const auto ends = named("didEndVisit");
  ASSERT_FALSE(starts.empty()) << readFile(here / "run.err");
  ASSERT_EQ(ends.size(), 1u) << readFile(here / "run.err");
  EXPECT_EQ(ends[0]["visit"]["venue_id"], "quay");
  EXPECT_EQ(ends[0]["visit"]["name"], "Quay");

  // Started again on the same files, the SDK takes up from where it was.
  {
    ToolProcess run(runArguments, here / "relaunch.err");
    EXPECT_TRUE(waitForText(here / "relaunch.err", "relaunched", 60s))
        << readFile(here / "relaunch.err");
    run.signal(SIGINT);
    EXPECT_EQ(run.wait(30s), 0) << readFile(here / "relaunch.err");
  }

  serve.signal(SIGTERM);
  EXPECT_EQ(serve.wait(30s), 0);
  const auto visits = service::ServiceStore(database.string()).visits();
  ASSERT_EQ(visits.size(), 1u);
  const service::LoggedVisit& visit = visits[0];
  EXPECT_EQ(visit.venueId, "quay");
  EXPECT_EQ(visit.addressId, "a-quay");
  EXPECT_FALSE(visit.deviceId.empty());
  EXPECT_GT(visit.startMilliseconds, 0);
  EXPECT_GT(visit.endMilliseconds, visit.startMilliseconds);
  EXPECT_EQ(visit.body["venue_id"], "quay");
}

}  // namespace
}  // namespace trevalo
