// `trevalo serve` as a program: it prints where it listens, answers over HTTP, logs each
// request, and a signal stops it with the database intact.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "ToolProcess.h"
#include "service/ServiceStore.h"
#include "support/TemporaryDirectory.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using testing::readFile;
using testing::ToolProcess;

const char* kVenue = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "id": "quay",
   "properties": {"name": "Quay", "category": "travel", "locality": "Lemmer", "country": "NL"},
   "geometry": {"type": "Point", "coordinates": [5.3115, 52.8492]}}]})";

class ServeCommandTest : public ::testing::Test {
 protected:
  std::unique_ptr<ToolProcess> serve(std::vector<std::string> more) {
    std::vector<std::string> arguments = {TREVALO_TOOL, "serve", "--port", "0"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return std::make_unique<ToolProcess>(arguments, directory.path() / "err");
  }

  // The port from "listening on http://127.0.0.1:PORT ...".
  static int portOf(ToolProcess& server) {
    const auto line = server.readLine(20s);
    if (!line) return 0;
    std::smatch found;
    if (!std::regex_search(*line, found, std::regex(R"(listening on http://127\.0\.0\.1:(\d+))"))) {
      return 0;
    }
    return std::stoi(found[1]);
  }

  testing::TemporaryDirectory directory;
};

TEST_F(ServeCommandTest, ServesUntilASignalAndLeavesTheDatabaseIntact) {
  std::ofstream(directory.path() / "venues.geojson") << kVenue;
  const auto database = directory.path() / "service.sqlite";
  for (const int stop : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(stop);
    auto server = serve({"--venues", (directory.path() / "venues.geojson").string(), "--db",
                         database.string(), "--token", "t0ken"});
    const int port = portOf(*server);
    ASSERT_GT(port, 0) << readFile(directory.path() / "err");
    httplib::Client http("127.0.0.1", port);
    const auto place = http.Get("/reverse?format=jsonv2&lat=52.8492&lon=5.3115");
    ASSERT_TRUE(place);
    EXPECT_EQ(place->status, 200);
    EXPECT_EQ(Json::parse(place->body).at("name"), "Quay");
    const Json visit = {{"device_id", "device-" + std::to_string(stop)},
                        {"venue_id", "quay"},
                        {"start_time", 1000},
                        {"end_time", 2000}};
    const auto logged =
        http.Post("/v1/logging/visit?api_token=t0ken", visit.dump(), "application/json");
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->status, 200);
    const auto refused = http.Post("/v1/logging/visit?api_token=t0ken", "{", "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);

    server->signal(stop);
    EXPECT_EQ(server->wait(20s), 0);
    const std::string log = readFile(directory.path() / "err");
    EXPECT_THAT(log, HasSubstr("GET /reverse?format=jsonv2&lat=52.8492&lon=5.3115 200"));
    EXPECT_THAT(log, HasSubstr("POST /v1/logging/visit?api_token=*** 200"));
    EXPECT_THAT(log, HasSubstr("POST /v1/logging/visit?api_token=*** 400"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("t0ken")));
  }
  // Both runs' visits, and nothing else, in the file the second run opened again.
  const auto visits = service::ServiceStore(database.string()).visits();
  ASSERT_EQ(visits.size(), 2u);
  EXPECT_EQ(visits[0].deviceId, "device-" + std::to_string(SIGINT));
  EXPECT_EQ(visits[1].deviceId, "device-" + std::to_string(SIGTERM));
  EXPECT_EQ(visits[1].startMilliseconds, 1000);
  EXPECT_EQ(visits[1].endMilliseconds, 2000);
}

TEST_F(ServeCommandTest, UnusableInputStopsItBeforeItListens) {
  std::ofstream(directory.path() / "bad.geojson")
      << R"({"type": "FeatureCollection", "features": [)";
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"--venues", (directory.path() / "bad.geojson").string()}, 2},
      {{"--venues", (directory.path() / "missing.geojson").string()}, 2},
      {{"--db", (directory.path() / "no" / "such" / "dir.sqlite").string()}, 2},
  };
  for (const auto& [arguments, status] : cases) {
    SCOPED_TRACE(arguments.back());
    auto server = serve(arguments);
    EXPECT_FALSE(server->readLine(20s));
    EXPECT_EQ(server->wait(20s), status);
  }
}

// `trevalo run` refuses a command line it cannot use before it starts anything.
TEST(RunCommandTest, UnusableArgumentsAreRefusedWithStatusTwo) {
  testing::TemporaryDirectory directory;
  std::ofstream(directory.path() / "list.json") << "[1, 2]";
  struct Case {
    std::vector<std::string> arguments;
    const char* why;
  };
  const std::vector<Case> cases = {
      {{"--gpsd", "gnss-box:port"}, "--gpsd must be HOST:PORT"},
      {{"--gpsd", "[::1"}, "--gpsd must be HOST:PORT"},
      {{"--gpsd", ":2947"}, "--gpsd must be HOST:PORT"},
      {{"--options", "{\"a\": "}, "--options must be a JSON object"},
      {{"--options", (directory.path() / "list.json").string()}, "--options must be a JSON object"},
      {{"--options", (directory.path() / "missing.json").string()}, "neither a JSON object"},
      {{"--token", ""}, "--token must not be empty"},
  };
  for (const Case& refused : cases) {
    SCOPED_TRACE(refused.arguments.back());
    std::vector<std::string> arguments = {TREVALO_TOOL, "run", "--data-dir",
                                          (directory.path() / "sdk").string()};
    arguments.insert(arguments.end(), refused.arguments.begin(), refused.arguments.end());
    ToolProcess run(arguments, directory.path() / "err");
    EXPECT_FALSE(run.readLine(20s));
    EXPECT_EQ(run.wait(20s), 2);
    EXPECT_THAT(readFile(directory.path() / "err"), HasSubstr(refused.why));
  }
  // Nothing was started, so nothing was kept.
  EXPECT_FALSE(std::filesystem::exists(directory.path() / "sdk"));
}

}  // namespace
}  // namespace trevalo
