#include "trevalo/networking/TRNetworkClient.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "support/PlatformTest.h"
#include "trevalo/networking/SessionRequestBuilder.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

using platform::HttpRequest;
using platform::HttpTransport;
using platform::SimulatedHttpTransport;

struct Call {
  std::optional<Json> value;
  std::optional<Error> error;
  bool onRunLoop = false;
};

class TRNetworkClientTest : public testing::PlatformTest {
 protected:
  TRNetworkClient::Completion record() {
    return [this](std::optional<Json> value, std::optional<Error> error) {
      calls.push_back({std::move(value), std::move(error), runLoop().isCurrent()});
    };
  }
  HttpRequest get(const std::string& url) const {
    return SessionRequestBuilder::instance()->getRequestWithUrl(url, "GET");
  }
  SimulatedHttpTransport& transport() const { return platform().simulatedHttpTransport(); }
  bool indicator() const { return platform().application().isNetworkActivityIndicatorVisible(); }

  TRNetworkClient client;
  std::vector<Call> calls;
};

TEST_F(TRNetworkClientTest, WithoutATokenOnlyTheEventLogStoreIsReachable) {
  const auto store = client.hosts().eventLogStore;
  for (const std::string& url : std::vector<std::string>{
           client.hosts().serviceApi + "/v1/visit-data/homework?device_id=d&api_token=",
           client.hosts().peopleSearch + "/v1/venues/v/people",
           // The store's name elsewhere in the URL does not make it a request to the store.
           client.hosts().serviceApi + "/?next=" + store, "https://events.trevalo.io.evil.test/x",
           "not a url"}) {
    try {
      client.executeTaskWithRequest(get(url), record());
      ADD_FAILURE() << "no exception for " << url;
    } catch (const Exception& e) {
      EXPECT_EQ(e.name(), TRNetworkClient::kMissingApiKeyException);
      EXPECT_EQ(e.reason(), "");
    }
  }
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_FALSE(indicator());

  client.executeTaskWithRequest(get(store + "/dev1/12_30_05.json"), record());
  client.executeTaskWithRequest(get("HTTPS://EVENTS.trevalo.io./x"), record());
  EXPECT_EQ(transport().sentCount(), 2u);
  runUntilIdle();
  EXPECT_TRUE(calls.empty());

  client.setApiKey("secret");
  EXPECT_EQ(client.apiKey(), "secret");
  client.executeTaskWithRequest(get(client.hosts().serviceApi + "/v1/x"), record());
  EXPECT_EQ(transport().sentCount(), 3u);
}

TEST_F(TRNetworkClientTest, CompletesOnceOnTheRunLoopWithTheCheckedResponse) {
  client.setApiKey("k");
  client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
  client.executeTaskWithRequest(get("https://api.trevalo.io/b"), record());
  client.executeTaskWithRequest(get("https://api.trevalo.io/c"), record());
  EXPECT_TRUE(indicator());
  const auto sent = transport().sentRequests();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].url, "https://api.trevalo.io/a");

  transport().respondToNext(SimulatedHttpTransport::response(201, R"({"id":1})"));
  transport().respondToNext(SimulatedHttpTransport::response(204));
  transport().respondToNext(Error("transport", 28));
  EXPECT_TRUE(calls.empty());  // nothing runs before the run loop does
  runUntilIdle();

  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].value, Json::parse(R"({"id":1})"));
  EXPECT_FALSE(calls[0].error);
  EXPECT_FALSE(calls[1].value);
  EXPECT_EQ(calls[1].error->code(), -9992);
  EXPECT_EQ(calls[2].error, Error("transport", 28));
  for (const auto& call : calls)
    EXPECT_TRUE(call.onRunLoop);
  EXPECT_FALSE(indicator());
}

TEST_F(TRNetworkClientTest, TheIndicatorIsOneFlagNotACounter) {
  client.setApiKey("k");
  client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
  client.executeTaskWithRequest(get("https://api.trevalo.io/b"), record());
  transport().respondToNext(SimulatedHttpTransport::response(200));
  runUntilIdle();
  EXPECT_FALSE(indicator());
  EXPECT_EQ(transport().pendingCount(), 1u);
}

TEST_F(TRNetworkClientTest, AnswersFromAnotherThreadArriveOnTheRunLoop) {
  client.setApiKey("k");
  client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
  std::thread answering(
      [this] { transport().respondToNext(SimulatedHttpTransport::response(200, "[1,2]")); });
  EXPECT_TRUE(runLoop().runUntil([this] { return !calls.empty(); }, std::chrono::seconds(5)));
  answering.join();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].onRunLoop);
  EXPECT_EQ(calls[0].value, Json::parse("[1,2]"));
}

// A transport that misbehaves in the ways a completion must survive.
class MisbehavingTransport final : public HttpTransport {
 public:
  enum class Mode { kAnswerTwice, kDropCompletion, kRaise };
  explicit MisbehavingTransport(Mode mode) : mode_(mode) {}

  void send(HttpRequest, Completion completion) override {
    switch (mode_) {
      case Mode::kAnswerTwice:
        completion(SimulatedHttpTransport::response(200, "[]"), std::nullopt);
        completion(std::nullopt, Error("again", 1));
        break;
      case Mode::kDropCompletion:
        break;
      case Mode::kRaise:
        throw std::runtime_error("transport broken");
    }
  }

 private:
  Mode mode_;
};

TEST_F(TRNetworkClientTest, ATransportAnsweringTwiceCompletesOnce) {
  platform().setHttpTransport(
      std::make_shared<MisbehavingTransport>(MisbehavingTransport::Mode::kAnswerTwice));
  client.setApiKey("k");
  client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].value, Json::array());
}

TEST_F(TRNetworkClientTest, ATransportDroppingARequestCompletesItAsCancelled) {
  platform().setHttpTransport(
      std::make_shared<MisbehavingTransport>(MisbehavingTransport::Mode::kDropCompletion));
  client.setApiKey("k");
  client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].error, HttpTransport::cancelledError());
  EXPECT_FALSE(indicator());
}

TEST_F(TRNetworkClientTest, ATransportThatRaisesLeavesNoCompletionBehind) {
  platform().setHttpTransport(
      std::make_shared<MisbehavingTransport>(MisbehavingTransport::Mode::kRaise));
  client.setApiKey("k");
  EXPECT_THROW(client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record()),
               std::runtime_error);
  runUntilIdle();
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(indicator());
}

TEST_F(TRNetworkClientTest, ReleasingTheTransportCancelsWhatIsPending) {
  platform().setHttpTransport(std::make_shared<SimulatedHttpTransport>());
  client.setApiKey("k");
  client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
  platform().setHttpTransport(std::make_shared<SimulatedHttpTransport>());  // the first one goes
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].error->code(), HttpTransport::kErrorCancelled);
}

TEST_F(TRNetworkClientTest, HostsHaveHttpsDefaultsAndRefuseWhatIsNotAServerUrl) {
  const TRNetworkClient::Hosts defaults;
  EXPECT_EQ(client.hosts(), defaults);
  for (const auto* url : {defaults.serviceApi.c_str(), defaults.peopleSearch.c_str(),
                          defaults.recordingService.c_str(), defaults.eventLogStore.c_str()}) {
    EXPECT_EQ(std::string(url).rfind("https://", 0), 0u);
    EXPECT_NE(std::string(url).back(), '/');
  }
  TRNetworkClient::Hosts local{"http://127.0.0.1:8080", "https://p", "https://r", "https://e"};
  client.setHosts(local);
  EXPECT_EQ(client.hosts(), local);
  for (const char* bad : {"", "api.trevalo.io", "ftp://h", "https://", "https:///path"}) {
    auto hosts = local;
    hosts.recordingService = bad;
    EXPECT_THROW(client.setHosts(hosts), Exception) << bad;
    EXPECT_THROW(TRNetworkClient{hosts}, Exception) << bad;
  }
  EXPECT_EQ(client.hosts(), local);
  EXPECT_EQ(TRNetworkClient::instance(), TRNetworkClient::instance());
}

}  // namespace
}  // namespace trevalo
