#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "networking/LoopbackServer.h"
#include "support/PlatformTest.h"
#include "trevalo/networking/SessionRequestBuilder.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/CurlHttpTransport.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;

struct Exchange {
  const char* name;
  std::string path;  // on the loopback server; a full URL when it starts with "http"
  double timeout;
  std::optional<std::string> value;  // dumped
  std::optional<std::int64_t> errorCode;
  std::string errorDomain;
};

// The network client with the real transport and a real server on 127.0.0.1, in a simulated
// platform whose run loop the test drives.
class TRNetworkClientIntegrationTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    platform().setHttpTransport(std::make_shared<platform::CurlHttpTransport>());
    server_.emplace([](httplib::Server& s) {
      auto answer = [&s](const std::string& path, int status, std::string body) {
        s.Get(path, [status, body](const httplib::Request&, httplib::Response& r) {
          r.status = status;
          r.set_content(body, "application/json");
        });
      };
      answer("/ok", 200, R"({"b":[1,2]})");
      answer("/created", 201, R"({"a":1})");
      answer("/no-content", 204, "");
      answer("/failure", 500, R"({"error":"boom"})");
      answer("/empty", 200, "");
      answer("/text", 200, "ok");
      answer("/bare-string", 200, R"("bare")");
      answer("/array", 200, "[]");
    });
    client_.setApiKey("token");
  }
  void TearDown() override {
    server_.reset();
    PlatformTest::TearDown();
  }

  std::string url(const std::string& path) const {
    return path.rfind("http", 0) == 0 ? path : server_->url(path);
  }

  std::optional<LoopbackServer> server_;
  TRNetworkClient client_;
};

class TRNetworkClientExchangeTest : public TRNetworkClientIntegrationTest,
                                    public ::testing::WithParamInterface<Exchange> {};

TEST_P(TRNetworkClientExchangeTest, EachRequestCompletesOnceOnTheRunLoop) {
  const auto& c = GetParam();
  auto request = SessionRequestBuilder::instance()->getRequestWithUrl(url(c.path), "GET");
  request.timeoutInterval = c.timeout;
  int calls = 0;
  bool onRunLoop = false;
  std::optional<Json> value;
  std::optional<Error> error;
  client_.executeTaskWithRequest(request, [&](std::optional<Json> v, std::optional<Error> e) {
    ++calls;
    onRunLoop = runLoop().isCurrent();
    value = std::move(v);
    error = std::move(e);
  });
  ASSERT_TRUE(runLoop().runUntil([&] { return calls > 0; }, 10s));
  // Anything more would arrive within a moment.
  runLoop().runUntil([] { return false; }, 100ms);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(onRunLoop);
  EXPECT_EQ(value ? std::optional(value->dump()) : std::nullopt, c.value);
  EXPECT_EQ(error ? std::optional(error->code()) : std::nullopt, c.errorCode);
  if (error) {
    EXPECT_EQ(error->domain(), c.errorDomain);
  }
  EXPECT_FALSE(platform().application().isNetworkActivityIndicatorVisible());
}

const std::string kTransport = platform::HttpTransport::kErrorDomain;

INSTANTIATE_TEST_SUITE_P(
    Loopback, TRNetworkClientExchangeTest,
    ::testing::Values(Exchange{"Ok", "/ok", 5, R"({"b":[1,2]})", std::nullopt, ""},
                      Exchange{"Created", "/created", 5, R"({"a":1})", std::nullopt, ""},
                      Exchange{"NoContent", "/no-content", 5, std::nullopt, -9992, "Trevalo"},
                      Exchange{"ServerFailure", "/failure", 5, std::nullopt, -9992, "Trevalo"},
                      Exchange{"NotFound", "/nowhere", 5, std::nullopt, -9992, "Trevalo"},
                      Exchange{"EmptySuccess", "/empty", 5, std::nullopt, std::nullopt, ""},
                      Exchange{"NotJson", "/text", 5, std::nullopt, -9999, "Trevalo"},
                      Exchange{"BareString", "/bare-string", 5, std::nullopt, -9999, "Trevalo"},
                      Exchange{"EmptyArray", "/array", 5, "[]", std::nullopt, ""},
                      Exchange{
                          "ConnectionRefused",
                          "http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort()) + "/",
                          5, std::nullopt, 7, kTransport}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TRNetworkClientIntegrationTest, AServerThatNeverAnswersTimesOutOnce) {
  testing::SilentServer silent;
  auto request = SessionRequestBuilder::instance()->getRequestWithUrl(silent.url("/"), "GET");
  request.timeoutInterval = 0.3;
  std::vector<std::optional<Error>> errors;
  client_.executeTaskWithRequest(request, [&](std::optional<Json>, std::optional<Error> e) {
    errors.push_back(std::move(e));
  });
  ASSERT_TRUE(runLoop().runUntil([&] { return !errors.empty(); }, 10s));
  runLoop().runUntil([] { return false; }, 100ms);
  ASSERT_EQ(errors.size(), 1u);
  ASSERT_TRUE(errors[0]);
  EXPECT_EQ(errors[0]->domain(), kTransport);
  EXPECT_EQ(errors[0]->code(), 28);  // curl's time-out
}

TEST_F(TRNetworkClientIntegrationTest, TransportErrorsDoNotRepeatTheToken) {
  client_.setApiKey("SECRET-TOKEN");
  const std::string query = "/v1/x?api_token=SECRET-TOKEN";
  std::vector<Error> errors;
  for (const std::string& target :
       {"http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort()) + query,
        "http://[::1" + query, "gopher://127.0.0.1" + query}) {
    client_.executeTaskWithRequest(
        SessionRequestBuilder::instance()->getRequestWithUrl(target, "GET"),
        [&](std::optional<Json>, std::optional<Error> e) {
          if (e) errors.push_back(*e);
        });
  }
  ASSERT_TRUE(runLoop().runUntil([&] { return errors.size() == 3; }, 10s));
  for (const auto& error : errors) {
    EXPECT_EQ(error.domain(), kTransport);
    EXPECT_EQ(error.description().find("SECRET"), std::string::npos) << error.description();
  }
}

TEST_F(TRNetworkClientIntegrationTest, RequestsFromManyThreadsEachCompleteOnce) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 10;
  std::atomic<int> sent{0};
  int completed = 0;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        client_.executeTaskWithRequest(
            SessionRequestBuilder::instance()->getRequestWithUrl(url("/ok"), "GET"),
            [&](std::optional<Json> v, std::optional<Error>) { completed += v ? 1 : 1000; });
        ++sent;
      }
    });
  }
  for (auto& sender : senders)
    sender.join();
  ASSERT_TRUE(runLoop().runUntil([&] { return completed >= kThreads * kPerThread; }, 20s));
  runLoop().runUntil([] { return false; }, 100ms);
  EXPECT_EQ(completed, kThreads * kPerThread);
}

}  // namespace
}  // namespace trevalo
