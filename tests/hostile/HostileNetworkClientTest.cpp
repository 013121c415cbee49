#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>

#include "HostileCases.h"
#include "HostileServer.h"
#include "networking/LoopbackServer.h"
#include "networking/SessionRequestBuilder.h"
#include "networking/TRNetworkClient.h"
#include "support/PlatformTest.h"
#include "support/SelfSignedCertificate.h"
#include "support/TemporaryDirectory.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::HostileServer;
using Behaviour = HostileServer::Behaviour;

// The network client with the real transport against servers on 127.0.0.1 that misbehave.
class HostileNetworkClientTest : public testing::PlatformTest {
 protected:
  struct Outcome {
    int calls = 0;
    bool onRunLoop = false;
    std::optional<Json> value;
    std::optional<Error> error;
  };

  void SetUp() override {
    PlatformTest::SetUp();
    platform().setHttpTransport(testing::hostileTransport());
    client_.setApiKey("token");
  }

  // Sends one request and gives its outcome once it has come, and any second completion would
  // have; a request that never completes fails the test after ten seconds.
  Outcome send(const std::string& url, const std::string& method) {
    const auto builder = SessionRequestBuilder::instance();
    const Json body = {{"points", Json::array()}};
    auto request = method == "GET" ? builder->getRequestWithUrl(url, method)
                                   : builder->getPostRequestPostObject(url, &body, method);
    const auto outcome = std::make_shared<Outcome>();
    client_.executeTaskWithRequest(request, [this, outcome](auto value, auto error) {
      *outcome = {outcome->calls + 1, runLoop().isCurrent(), std::move(value), std::move(error)};
    });
    EXPECT_TRUE(runLoop().runUntil([&] { return outcome->calls > 0; }, 10s)) << url;
    runLoop().runUntil([] { return false; }, 50ms);
    EXPECT_EQ(outcome->calls, 1) << url;
    EXPECT_TRUE(outcome->onRunLoop) << url;
    EXPECT_FALSE(platform().application().isNetworkActivityIndicatorVisible()) << url;
    return *outcome;
  }

  static std::string describe(const Outcome& outcome) {
    if (outcome.error) return outcome.error->domain() + " " + std::to_string(outcome.error->code());
    return outcome.value ? outcome.value->dump() : "nothing";
  }
  static std::string transportError(long code) {
    return std::string(platform::HttpTransport::kErrorDomain) + " " + std::to_string(code);
  }

  TRNetworkClient client_;
};

class HostileAnswerTest : public HostileNetworkClientTest,
                          public ::testing::WithParamInterface<testing::HostileCase> {};

// Each misbehaviour ends in its one error, for a GET and a POST alike, and the transport
// never sends the request a second time.
TEST_P(HostileAnswerTest, EndsInItsErrorOnceWithoutAResend) {
  const auto& hostile = GetParam();
  HostileServer server([&](const HostileServer::Request&) { return hostile.behaviour; });
  for (const std::string method : {"GET", "POST"}) {
    const auto outcome = send(server.url("/v1/case"), method);
    EXPECT_EQ(describe(outcome), hostile.domain + " " + std::to_string(hostile.code)) << method;
  }
  EXPECT_EQ(server.count("/v1/case"), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileAnswerTest, ::testing::ValuesIn(testing::hostileCases()),
                         [](const auto& info) { return info.param.name; });

// A POST that the server redirects has not been taken: it must fail, to be sent again later,
// rather than be turned into a GET elsewhere whose answer passes for the POST's success, or be
// re-sent, body and all, to another host. A GET follows redirects, to another host too, and
// its answer is the answer; but not for ever.
TEST_F(HostileNetworkClientTest, APostIsNeverRedirectedAndAGetFollowsButStopsAfterTenHops) {
  HostileServer elsewhere(
      [](const HostileServer::Request&) { return Behaviour::answer(200, "{}"); });
  for (const int status : {301, 302, 303, 307, 308}) {
    HostileServer server([&](const HostileServer::Request&) {
      return Behaviour::redirect(status, elsewhere.url("/there", "localhost"));
    });
    EXPECT_EQ(describe(send(server.url("/v1/logging/visit"), "POST")), "Trevalo -9992") << status;
  }
  EXPECT_EQ(elsewhere.count(), 0u);
  HostileServer moved([&](const HostileServer::Request&) {
    return Behaviour::redirect(302, elsewhere.url("/there", "localhost"));
  });
  EXPECT_EQ(describe(send(moved.url("/moved"), "GET")), "{}");
  EXPECT_EQ(elsewhere.count(), 1u);
  HostileServer loop([](const HostileServer::Request&) { return Behaviour::redirect(302, "/"); });
  EXPECT_EQ(describe(send(loop.url("/"), "GET")), transportError(CURLE_TOO_MANY_REDIRECTS));
  EXPECT_EQ(loop.count(), 11u);
}

// A request that started on https never continues on plain http: the redirect ends it.
TEST_F(HostileNetworkClientTest, ARedirectFromHttpsToHttpIsRefused) {
  testing::TemporaryDirectory directory;
  const auto [certificate, key] = testing::writeSelfSignedCertificate(directory.path());
  platform().setHttpTransport(testing::hostileTransport({.certificateAuthorityFile = certificate}));
  HostileServer plain(
      [](const HostileServer::Request&) { return Behaviour::answer(200, R"({"plain":true})"); });
  testing::LoopbackServer secure(certificate, key, [&](httplib::Server& server) {
    server.Get("/direct", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(R"({"secure":true})", "application/json");
    });
    server.Get("/downgrade", [&](const httplib::Request&, httplib::Response& response) {
      response.set_redirect(plain.url("/there"));
    });
  });
  EXPECT_EQ(describe(send(secure.url("/direct"), "GET")), R"({"secure":true})");
  EXPECT_EQ(describe(send(secure.url("/downgrade"), "GET")),
            transportError(CURLE_UNSUPPORTED_PROTOCOL));
  EXPECT_EQ(plain.count(), 0u);
}

// A transport error never repeats the URL's token, not even for a URL that cannot be parsed.
TEST_F(HostileNetworkClientTest, TransportErrorsNeverRepeatTheToken) {
  const std::string token = "?api_token=SECRET-TOKEN";
  const std::pair<std::string, CURLcode> cases[] = {
      {"http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort()) + "/" + token,
       CURLE_COULDNT_CONNECT},
      {"http://[::1/" + token, CURLE_URL_MALFORMAT}};
  for (const auto& [url, code] : cases) {
    const auto outcome = send(url, "GET");
    EXPECT_EQ(describe(outcome), transportError(code));
    EXPECT_EQ(outcome.error.value_or(Error("", 0)).description().find("SECRET"), std::string::npos);
  }
}

}  // namespace
}  // namespace trevalo
