#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "networking/LoopbackServer.h"
#include "support/PlatformTest.h"
#include "trevalo/model/TRSearchRequest.h"
#include "trevalo/networking/SessionRequestBuilder.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/CurlHttpTransport.h"
#include "trevalo/platform/SimulatedPlatform.h"
#include "trevalo/vell/TRVellLocation.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;

const std::string kTransport = platform::HttpTransport::kErrorDomain;

// What the loopback server saw of one request.
struct Arrival {
  std::string method;
  std::string path;
  std::string body;
  std::string contentType;
  httplib::Params params;
};

// The network client with the real transport and a real server on 127.0.0.1 standing in for
// all four hosts, in a simulated platform whose run loop the test drives.
class TRNetworkClientIntegrationTest : public testing::PlatformTest {
 protected:
  struct Outcome {
    int calls = 0;
    bool onRunLoop = false;
    std::optional<Json> value;
    std::optional<Error> error;
  };

  void SetUp() override {
    PlatformTest::SetUp();
    platform().setHttpTransport(std::make_shared<platform::CurlHttpTransport>());
    server_.emplace([this](httplib::Server& s) {
      const auto answer = [this](int status, std::string body) {
        return [this, status, body](const httplib::Request& request, httplib::Response& response) {
          {
            const std::lock_guard lock(mutex_);
            arrivals_.push_back({request.method, request.path, request.body,
                                 request.get_header_value("Content-Type"), request.params});
          }
          response.status = status;
          response.set_content(body, "application/json");
        };
      };
      s.Get("/ok", answer(200, R"({"b":[1,2]})"));
      s.Get("/created", answer(201, R"({"a":1})"));
      s.Get("/no-content", answer(204, ""));
      s.Get("/failure", answer(500, R"({"error":"boom"})"));
      s.Get("/empty", answer(200, ""));
      s.Get("/text", answer(200, "ok"));
      s.Get("/bare-string", answer(200, R"("bare")"));
      s.Post("/v1/geocode/reverse_geocode", answer(200, R"({"venue":{"id":"v1"}})"));
      s.Get("/v1/search/venues", answer(200, "[]"));
      s.Put(R"(/dev1/[^/]+\.json)", answer(200, R"({"name":"-Nx"})"));
    });
    const auto base = server_->url();
    client_.setHosts({base, base, base, base});
    client_.setApiKey("K-1");
  }
  void TearDown() override {
    server_.reset();
    PlatformTest::TearDown();
  }

  std::string url(const std::string& path) const { return server_->url(path); }

  TRNetworkClient::Completion record() {
    outcome_ = {};
    return [this](std::optional<Json> value, std::optional<Error> error) {
      ++outcome_.calls;
      outcome_.onRunLoop = runLoop().isCurrent();
      outcome_.value = std::move(value);
      outcome_.error = std::move(error);
    };
  }
  // The completion of the request just sent, once it has come and any second one would have.
  Outcome outcome() {
    EXPECT_TRUE(runLoop().runUntil([this] { return outcome_.calls > 0; }, 10s));
    runLoop().runUntil([] { return false; }, 100ms);
    EXPECT_EQ(outcome_.calls, 1);
    return outcome_;
  }
  Outcome fetch(const std::string& target, double timeout) {
    auto request = SessionRequestBuilder::instance()->getRequestWithUrl(target, "GET");
    request.timeoutInterval = timeout;
    client_.executeTaskWithRequest(request, record());
    return outcome();
  }
  std::vector<Arrival> arrivals() {
    const std::lock_guard lock(mutex_);
    return arrivals_;
  }

  TRNetworkClient client_;

 private:
  std::optional<testing::LoopbackServer> server_;
  std::mutex mutex_;
  std::vector<Arrival> arrivals_;
  Outcome outcome_;
};

TEST_F(TRNetworkClientIntegrationTest, EachExchangeCompletesOnceOnTheRunLoop) {
  const testing::SilentServer silent;
  const struct {
    std::string url;
    std::optional<std::string> value;  // dumped
    std::optional<std::int64_t> errorCode;
    std::string errorDomain;
    double timeout = 5;
  } cases[] = {
      {url("/ok"), R"({"b":[1,2]})", std::nullopt, ""},
      {url("/created"), R"({"a":1})", std::nullopt, ""},
      {url("/no-content"), std::nullopt, -9992, "Trevalo"},
      {url("/failure"), std::nullopt, -9992, "Trevalo"},
      {url("/empty"), std::nullopt, std::nullopt, ""},
      {url("/text"), std::nullopt, -9999, "Trevalo"},
      {url("/bare-string"), std::nullopt, -9999, "Trevalo"},
      {"http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort()) + "/", std::nullopt, 7,
       kTransport},
      {silent.url("/"), std::nullopt, 28, kTransport, 0.3},  // curl's time-out
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const auto got = fetch(c.url, c.timeout);
    EXPECT_TRUE(got.onRunLoop);
    EXPECT_EQ(got.value ? std::optional(got.value->dump()) : std::nullopt, c.value);
    EXPECT_EQ(got.error ? std::optional(got.error->code()) : std::nullopt, c.errorCode);
    if (got.error) {
      EXPECT_EQ(got.error->domain(), c.errorDomain);
    }
    EXPECT_FALSE(platform().application().isNetworkActivityIndicatorVisible());
  }
}

TEST_F(TRNetworkClientIntegrationTest, TransportErrorsDoNotRepeatTheToken) {
  client_.setApiKey("SECRET-TOKEN");
  const std::string query = "/v1/x?api_token=SECRET-TOKEN";
  for (const std::string& target :
       {"http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort()) + query,
        "http://[::1" + query, "gopher://127.0.0.1" + query}) {
    const auto got = fetch(target, 5);
    ASSERT_TRUE(got.error) << target;
    EXPECT_EQ(got.error->domain(), kTransport);
    EXPECT_EQ(got.error->description().find("SECRET"), std::string::npos)
        << got.error->description();
  }
}

TEST_F(TRNetworkClientIntegrationTest, RequestsFromManyThreadsEachCompleteOnce) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 10;
  int completed = 0;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        client_.executeTaskWithRequest(
            SessionRequestBuilder::instance()->getRequestWithUrl(url("/ok"), "GET"),
            [&](std::optional<Json> v, std::optional<Error>) { completed += v ? 1 : 1000; });
      }
    });
  }
  for (auto& sender : senders)
    sender.join();
  ASSERT_TRUE(runLoop().runUntil([&] { return completed >= kThreads * kPerThread; }, 20s));
  runLoop().runUntil([] { return false; }, 100ms);
  EXPECT_EQ(completed, kThreads * kPerThread);
}

TEST_F(TRNetworkClientIntegrationTest, EndpointRequestsArriveAsBuilt) {
  platform().advertisingIdentifierText().set("ADID");
  auto location =
      std::make_shared<TRVellLocation>(Location({51.5, -0.1278}, 12.0, 5.0, 3.0, 90.0, 1.5, now()));
  location->wifiName = "Caf\u00e9 \"Ost\"";
  location->accelArray.push_back(platform::AccelerometerData{{0.1, 0.2, 0.3}, 1.0});
  Json points = {{"points", Json::array({location->dictionaryRepresentation()})}};
  points["device_id"] = "ADID";
  client_.sendLastLocations({location}, std::nullopt, record());
  EXPECT_EQ(outcome().value, Json::parse(R"({"venue":{"id":"v1"}})"));

  TRSearchRequest search;
  search.location = Location({48.1374, 11.5755});
  search.limit = 5;
  search.query = "Caf\u00e9 100% bio";
  search.category = "food/drink";
  client_.searchForVenues(search, record());
  EXPECT_EQ(outcome().value, Json::array());

  client_.setApiKey("");
  client_.sendFireBase("line \"one\"\ttwo", "12:30:05", "dev1", record());
  EXPECT_EQ(outcome().value, Json::parse(R"({"name":"-Nx"})"));

  const auto got = arrivals();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].method, "POST");
  EXPECT_EQ(got[0].body, points.dump());
  EXPECT_EQ(got[0].contentType, "application/json");
  EXPECT_EQ(got[0].params, (httplib::Params{{"api_token", "K-1"}}));
  // The server decodes the query back to exactly what was asked for.
  EXPECT_EQ(got[1].method, "GET");
  EXPECT_EQ(got[1].params, (httplib::Params{{"api_token", "K-1"},
                                            {"lat", "48.1374"},
                                            {"lng", "11.5755"},
                                            {"radius", "1000"},
                                            {"limit", "5"},
                                            {"q", "Caf\u00e9 100% bio"},
                                            {"category", "food/drink"}}));
  EXPECT_EQ(got[2].method, "PUT");
  EXPECT_EQ(got[2].path, "/dev1/12_30_05.json");
  EXPECT_EQ(got[2].body, R"("line \"one\"\ttwo")");
  EXPECT_EQ(got[2].contentType, "application/json");
}

}  // namespace
}  // namespace trevalo
