#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "networking/LoopbackServer.h"
#include "networking/SessionRequestBuilder.h"
#include "networking/TRNetworkClient.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;

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
    server_.emplace([](httplib::Server& s) {
      const auto answer = [](int status, std::string body) {
        return [status, body](const httplib::Request&, httplib::Response& response) {
          response.status = status;
          response.set_content(body, "application/json");
        };
      };
      s.Get("/ok", answer(201, R"({"b":[1,2]})"));
      s.Get("/failure", answer(500, R"({"error":"boom"})"));
    });
    client_.setHosts({server_->url(), server_->url(), server_->url(), server_->url()});
    client_.setApiKey("SECRET-TOKEN");
  }

  // The completion of the request, once it has come and any second one would have.
  Outcome fetch(const std::string& target, double timeout) {
    auto request = SessionRequestBuilder::instance()->getRequestWithUrl(target, "GET");
    request.timeoutInterval = timeout;
    // Shared with the completion, so that a stray late call has somewhere to land.
    const auto outcome = std::make_shared<Outcome>();
    client_.executeTaskWithRequest(request, [this, outcome](auto value, auto error) {
      *outcome = {outcome->calls + 1, runLoop().isCurrent(), std::move(value), std::move(error)};
    });
    EXPECT_TRUE(runLoop().runUntil([&] { return outcome->calls > 0; }, 10s));
    runLoop().runUntil([] { return false; }, 100ms);
    EXPECT_EQ(outcome->calls, 1);
    return *outcome;
  }

  TRNetworkClient client_;
  std::optional<testing::LoopbackServer> server_;
};

TEST_F(TRNetworkClientIntegrationTest, EachExchangeCompletesOnceOnTheRunLoop) {
  const testing::SilentServer silent;
  const std::string token = "?api_token=SECRET-TOKEN";
  const struct {
    std::string url;
    std::string outcome;  // the value dumped, or the error's domain and code
    double timeout = 5;
  } cases[] = {
      {server_->url("/ok"), R"({"b":[1,2]})"},
      // How answers are checked is SessionResponseCheckerTest's.
      {server_->url("/failure"), "Trevalo -9992"},
      // Transport errors never repeat the token, not even for a URL that cannot be parsed.
      {"http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort()) + "/" + token,
       "TrevaloHttpTransport 7"},
      {"http://[::1/" + token, "TrevaloHttpTransport 3"},
      {silent.url("/"), "TrevaloHttpTransport 28", 0.3},  // curl's time-out
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const auto got = fetch(c.url, c.timeout);
    EXPECT_TRUE(got.onRunLoop);
    EXPECT_FALSE(got.value && got.error);
    EXPECT_EQ(got.error   ? got.error->domain() + " " + std::to_string(got.error->code())
              : got.value ? got.value->dump()
                          : "",
              c.outcome);
    EXPECT_EQ(got.error.value_or(Error("", 0)).description().find("SECRET"), std::string::npos);
    EXPECT_FALSE(platform().application().isNetworkActivityIndicatorVisible());
  }
}

TEST_F(TRNetworkClientIntegrationTest, RequestsFromManyThreadsEachCompleteOnce) {
  constexpr int kRequests = 40;
  int completed = 0;
  {
    std::vector<std::jthread> senders;
    for (int t = 0; t < 4; ++t) {
      senders.emplace_back([&] {
        for (int i = 0; i < kRequests / 4; ++i) {
          client_.executeTaskWithRequest(
              SessionRequestBuilder::instance()->getRequestWithUrl(server_->url("/ok"), "GET"),
              [&](std::optional<Json> v, std::optional<Error>) { completed += v ? 1 : 1000; });
        }
      });
    }
  }
  ASSERT_TRUE(runLoop().runUntil([&] { return completed >= kRequests; }, 20s));
  runLoop().runUntil([] { return false; }, 100ms);
  EXPECT_EQ(completed, kRequests);
}

}  // namespace
}  // namespace trevalo
