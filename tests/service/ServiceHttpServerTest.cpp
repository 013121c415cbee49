// The reference service over HTTP on loopback: refused requests get the right status and a
// JSON error and leave the store untouched (read back from the SQLite file), accepted ones are
// stored whole, and 200 clients at once are all answered.
#include "service/ServiceHttpServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <vector>

#include "ServiceTestSupport.h"

// The server library is not built with ThreadSanitizer: its worker threads synchronise in code
// the sanitizer cannot see. Reports from inside it are not about this project's code.
extern "C" [[gnu::used]] const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n"
         "race:libcpp-httplib.so\n";
}

namespace trevalo::service {
namespace {

using ::testing::HasSubstr;

constexpr double kNow = 1717372800.0;

Json visitLog(const std::string& device, std::int64_t start = 1717372800000) {
  return {{"device_id", device}, {"venue_id", "cafe"},        {"address_id", "a-cafe"},
          {"start_time", start}, {"end_time", start + 60000}, {"lat", 48.8501},
          {"lng", 2.3502},       {"app_opened", false}};
}

class ServiceHttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = std::filesystem::temp_directory_path() /
                ("trevalo-http-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".sqlite");
    std::filesystem::remove(database_);
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove(database_);
  }

  void start(ServiceHttpServer::Options options = {}) {
    options.log = [this](const std::string& line) {
      const std::lock_guard lock(logMutex_);
      log_.push_back(line);
    };
    auto service = std::make_shared<ReferenceService>(
        VenueTable::fromGeoJson(testing::kVenues),
        std::make_shared<ServiceStore>(database_.string()), [] { return Date(kNow); });
    server_ = std::make_unique<ServiceHttpServer>(std::move(service), options);
    server_->start();
  }

  httplib::Client client() const {
    httplib::Client client("127.0.0.1", server_->port());
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    return client;
  }

  // What the store holds once the server is gone, read from the file by a store of its own.
  std::vector<LoggedVisit> storedVisits() {
    server_.reset();
    return ServiceStore(database_.string()).visits();
  }

  std::filesystem::path database_;
  std::unique_ptr<ServiceHttpServer> server_;
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

struct Refused {
  const char* name;
  const char* method;
  std::string target;
  std::string body;
  int status;
};

TEST_F(ServiceHttpServerTest, RefusedRequestsGetAJsonErrorAndStoreNothing) {
  start({.maxBodyBytes = 1024});
  const std::string visit = "/v1/logging/visit?api_token=t";
  const std::vector<Refused> cases = {
      {"malformed JSON", "POST", visit, "{\"device_id\": ", 400},
      {"an end before the start", "POST", visit,
       [] {
         Json body = visitLog("d");
         body["end_time"] = 1;
         return body.dump();
       }(),
       400},
      {"a body above the limit", "POST", visit, std::string(1025, ' '), 413},
      {"no token", "POST", "/v1/logging/visit", visitLog("d").dump(), 401},
      {"a GET of a POST endpoint", "GET", visit, "", 405},
      {"an unknown path", "POST", "/v2/logging/visit?api_token=t", visitLog("d").dump(), 404},
      {"bytes that are not UTF-8", "GET", "/v1/venues/%FF%FE/people?api_token=t", "", 400},
      {"an event that is not a JSON text", "PUT", "/d/1717372800.json", "{}", 400},
      {"user values without a list", "POST", "/v1/logging/userdata?api_token=t",
       R"({"device_id": "d", "info": {}})", 400},
  };
  auto http = client();
  for (const Refused& refused : cases) {
    SCOPED_TRACE(refused.name);
    httplib::Request request;
    request.method = refused.method;
    request.path = refused.target;
    request.body = refused.body;
    request.set_header("Content-Type", "application/json");
    const auto response = http.send(request);
    ASSERT_TRUE(response) << httplib::to_string(response.error());
    EXPECT_EQ(response->status, refused.status);
    EXPECT_EQ(response->get_header_value("Content-Type"), "application/json");
    const Json body = Json::parse(response->body, nullptr, false);
    ASSERT_TRUE(body.is_object()) << response->body;
    EXPECT_TRUE(body.contains("error") && body["error"].is_string()) << response->body;
  }
  // The server is still there, and a request of the same kind inside the limit is taken.
  Json small = visitLog("accepted");
  ASSERT_LE(small.dump().size(), 1024u);
  const auto accepted = http.Post(visit, small.dump(), "application/json");
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->status, 200);

  const auto stored = storedVisits();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].deviceId, "accepted");
  EXPECT_EQ(stored[0].venueId, "cafe");
  EXPECT_EQ(stored[0].startMilliseconds, 1717372800000);
  EXPECT_EQ(stored[0].endMilliseconds, 1717372860000);
  EXPECT_EQ(stored[0].body, small);
  EXPECT_TRUE(ServiceStore(database_.string()).events("d").empty());
  EXPECT_TRUE(ServiceStore(database_.string()).userValues("d").empty());
}

TEST_F(ServiceHttpServerTest, TenMegabyteBodiesAreRefusedUnderTheDefaultLimit) {
  start();
  auto http = client();
  // A well-formed visit log padded past ten megabytes: refused for its size alone.
  Json padded = visitLog("padded");
  padded["padding"] = std::string(10 * 1024 * 1024, 'x');
  const auto refused =
      http.Post("/v1/logging/visit?api_token=t", padded.dump(), "application/json");
  ASSERT_TRUE(refused) << httplib::to_string(refused.error());
  EXPECT_EQ(refused->status, 413);
  EXPECT_THAT(Json::parse(refused->body).at("error").get<std::string>(), HasSubstr("larger"));
  // A large body within the limit reaches the service.
  Json large = visitLog("large");
  large["padding"] = std::string(1024 * 1024, 'x');
  const auto taken =
      client().Post("/v1/logging/visit?api_token=t", large.dump(), "application/json");
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->status, 200);
  const auto stored = storedVisits();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].deviceId, "large");
}

TEST_F(ServiceHttpServerTest, OnlyTheServersTokenOpensTheServiceEndpoints) {
  start({.token = "secret"});
  auto http = client();
  const auto wrong =
      http.Post("/v1/logging/visit?api_token=guess", visitLog("wrong").dump(), "application/json");
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->status, 401);
  const auto right =
      http.Post("/v1/logging/visit?api_token=secret", visitLog("right").dump(), "application/json");
  ASSERT_TRUE(right);
  EXPECT_EQ(right->status, 200);
  // The reverse geocoder of the common format takes no token.
  const auto reverse = http.Get("/reverse?format=jsonv2&lat=48.85015&lon=2.3502");
  ASSERT_TRUE(reverse);
  EXPECT_EQ(reverse->status, 200);
  EXPECT_EQ(Json::parse(reverse->body).at("name"), "Café Lumière");

  // Each line is written once its answer is out: read them when the server is gone.
  const auto stored = storedVisits();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].deviceId, "right");
  {
    const std::lock_guard lock(logMutex_);
    ASSERT_EQ(log_.size(), 3u);
    EXPECT_THAT(log_[0], HasSubstr("POST /v1/logging/visit?api_token=*** 401"));
    EXPECT_THAT(log_[1], HasSubstr("POST /v1/logging/visit?api_token=*** 200"));
    EXPECT_THAT(log_[2], HasSubstr("GET /reverse?format=jsonv2&lat=48.85015&lon=2.3502 200"));
    for (const auto& line : log_)
      EXPECT_THAT(line, ::testing::Not(HasSubstr("secret")));
  }
}

TEST_F(ServiceHttpServerTest, TwoHundredClientsAtOnceAreAllAnsweredAndOnlyValidWorkStored) {
  // 200 client threads on a busy machine may connect and then wait seconds for their turn to
  // write: the server waits for them longer than it would by default.
  start({.keepAliveSeconds = 60});
  constexpr int kClients = 200;
  std::vector<int> statuses(kClients, -1);
  std::vector<std::string> failures;
  std::atomic<int> ready{0};
  std::vector<std::thread> clients;
  clients.reserve(kClients);
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kClients)
        std::this_thread::yield();
      httplib::Client http("127.0.0.1", server_->port());
      http.set_connection_timeout(30);
      http.set_read_timeout(30);
      // Every third client sends a body that is not JSON, every fifth asks for nothing known.
      httplib::Result result = [&] {
        if (i % 3 == 0) return http.Post("/v1/logging/visit?api_token=t", "{", "application/json");
        if (i % 5 == 0) return http.Get("/nowhere");
        return http.Post("/v1/logging/visit?api_token=t", visitLog("d" + std::to_string(i)).dump(),
                         "application/json");
      }();
      statuses[static_cast<std::size_t>(i)] = result ? result->status : 0;
      if (!result) {
        const std::lock_guard lock(logMutex_);
        failures.push_back(httplib::to_string(result.error()));
      }
    });
  }
  for (auto& thread : clients)
    thread.join();
  EXPECT_THAT(failures, ::testing::IsEmpty());

  std::set<std::string> expected;
  for (int i = 0; i < kClients; ++i) {
    SCOPED_TRACE(i);
    const int wanted = i % 3 == 0 ? 400 : i % 5 == 0 ? 404 : 200;
    EXPECT_EQ(statuses[static_cast<std::size_t>(i)], wanted);
    if (wanted == 200) expected.insert("d" + std::to_string(i));
  }
  std::set<std::string> stored;
  for (const LoggedVisit& visit : storedVisits())
    stored.insert(visit.deviceId);
  EXPECT_EQ(stored, expected);
  const std::lock_guard lock(logMutex_);
  EXPECT_EQ(log_.size(), static_cast<std::size_t>(kClients));
}

TEST(ServiceHttpServerRedaction, HidesTheTokenValueOnly) {
  EXPECT_EQ(ServiceHttpServer::redactedTarget("/v1/x?api_token=abc&lat=1"),
            "/v1/x?api_token=***&lat=1");
  EXPECT_EQ(ServiceHttpServer::redactedTarget("/v1/x?lat=1&api_token=abc"),
            "/v1/x?lat=1&api_token=***");
  EXPECT_EQ(ServiceHttpServer::redactedTarget("/v1/x?my_api_token=abc"), "/v1/x?my_api_token=abc");
  EXPECT_EQ(ServiceHttpServer::redactedTarget("/reverse?lat=1"), "/reverse?lat=1");
}

TEST(ServiceHttpServerBinding, APortInUseIsRefusedWithAnError) {
  auto service = std::make_shared<ReferenceService>(
      VenueTable{}, std::make_shared<ServiceStore>(":memory:"), [] { return Date(kNow); });
  ServiceHttpServer first(service, {});
  EXPECT_THROW(ServiceHttpServer(service, {.port = first.port()}), std::runtime_error);
}

}  // namespace
}  // namespace trevalo::service
