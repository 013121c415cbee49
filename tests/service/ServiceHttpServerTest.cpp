// The reference service over HTTP on loopback: refused requests get the right status and a
// JSON error and leave the store untouched (read back from the SQLite file), accepted ones are
// stored whole, and 200 clients at once are all answered.
#include "service/ServiceHttpServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <vector>

#include "ServiceTestSupport.h"
#include "support/TemporaryDirectory.h"

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

Json visitLog(const std::string& device) {
  return {{"device_id", device},
          {"venue_id", "cafe"},
          {"address_id", "a-cafe"},
          {"start_time", 1717372800000},
          {"end_time", 1717372860000},
          {"lat", 48.8501},
          {"lng", 2.3502},
          {"app_opened", false}};
}

class ServiceHttpServerTest : public ::testing::Test {
 protected:
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

  trevalo::testing::TemporaryDirectory directory_;
  const std::filesystem::path database_ = directory_.path() / "service.sqlite";
  std::mutex logMutex_;
  std::vector<std::string> log_;
  // Last, so that it is gone before what it logs into.
  std::unique_ptr<ServiceHttpServer> server_;
};

// Which requests the service refuses, and with what status, is ReferenceServiceTest's; over
// HTTP, a refusal must still arrive as a JSON error, the size limit is the server's own, and
// bytes that are not UTF-8 must not throw out of the responder.
TEST_F(ServiceHttpServerTest, RefusedRequestsGetAJsonErrorAndStoreNothing) {
  start({.maxBodyBytes = 1024});
  const std::string visit = "/v1/logging/visit?api_token=t";
  const struct {
    const char* method;
    std::string target;
    std::string body;
    int status;
  } cases[] = {{"POST", visit, "{\"device_id\": ", 400},
               {"POST", visit, std::string(1025, ' '), 413},
               {"GET", "/v1/venues/%FF%FE/people?api_token=t", "", 400}};
  auto http = client();
  for (const auto& refused : cases) {
    SCOPED_TRACE(refused.target + " " + refused.body.substr(0, 20));
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
    EXPECT_TRUE(body.is_object() && body.contains("error") && body["error"].is_string())
        << response->body;
  }
  // The server is still there, and a request of the same kind inside the limit is taken whole.
  const Json small = visitLog("accepted");
  ASSERT_LE(small.dump().size(), 1024u);
  const auto accepted = http.Post(visit, small.dump(), "application/json");
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->status, 200);
  EXPECT_EQ(storedVisits(),
            (std::vector<LoggedVisit>{{"accepted", "cafe", "a-cafe", 48.8501, 2.3502, 1717372800000,
                                       1717372860000, small}}));
}

// A body under the limit is taken: the first test's.
TEST_F(ServiceHttpServerTest, TenMegabyteBodiesAreRefusedUnderTheDefaultLimit) {
  start();
  Json padded = visitLog("padded");
  padded["padding"] = std::string(10 * 1024 * 1024, 'x');
  const auto refused =
      client().Post("/v1/logging/visit?api_token=t", padded.dump(), "application/json");
  ASSERT_TRUE(refused) << httplib::to_string(refused.error());
  EXPECT_EQ(refused->status, 413);
  EXPECT_THAT(Json::parse(refused->body).at("error").get<std::string>(), HasSubstr("larger"));
  EXPECT_TRUE(storedVisits().empty());
}

// How log lines read, the token hidden, is ServeCommandTest's.
TEST_F(ServiceHttpServerTest, OnlyTheServersTokenOpensTheServiceEndpoints) {
  start({.token = "secret"});
  auto http = client();
  const auto status = [&](const std::string& token, const std::string& device) {
    const auto answer = http.Post("/v1/logging/visit?api_token=" + token, visitLog(device).dump(),
                                  "application/json");
    return answer ? answer->status : 0;
  };
  EXPECT_EQ(status("guess", "wrong"), 401);
  EXPECT_EQ(status("secret", "right"), 200);
  // The reverse geocoder of the common format takes no token.
  const auto reverse = http.Get("/reverse?format=jsonv2&lat=48.85015&lon=2.3502");
  ASSERT_TRUE(reverse);
  EXPECT_EQ(Json::parse(reverse->body).at("name"), "Café Lumière");
  const auto stored = storedVisits();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].deviceId, "right");
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
  const std::pair<const char*, const char*> cases[] = {
      {"/v1/x?api_token=abc&lat=1", "/v1/x?api_token=***&lat=1"},
      {"/v1/x?lat=1&api_token=abc", "/v1/x?lat=1&api_token=***"},
      {"/v1/x?my_api_token=abc", "/v1/x?my_api_token=abc"},
      {"/reverse?lat=1", "/reverse?lat=1"}};
  for (const auto& [target, logged] : cases)
    EXPECT_EQ(ServiceHttpServer::redactedTarget(target), logged);
}

TEST(ServiceHttpServerBinding, APortInUseIsRefusedWithAnError) {
  auto service = std::make_shared<ReferenceService>(
      VenueTable{}, std::make_shared<ServiceStore>(":memory:"), [] { return Date(kNow); });
  ServiceHttpServer first(service, {});
  EXPECT_THROW(ServiceHttpServer(service, {.port = first.port()}), std::runtime_error);
}

}  // namespace
}  // namespace trevalo::service
