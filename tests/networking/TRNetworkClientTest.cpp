#include "trevalo/networking/TRNetworkClient.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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
  client.executeTaskWithRequest(get(client.hosts().serviceApi + "/v1/x"), record());
  EXPECT_EQ(transport().sentCount(), 3u);
}

TEST_F(TRNetworkClientTest, CompletesOnceOnTheRunLoopWithTheCheckedResponse) {
  client.setApiKey("k");
  for (const char* path : {"a", "b", "c"}) {
    client.executeTaskWithRequest(get(std::string("https://api.trevalo.io/") + path), record());
  }
  EXPECT_TRUE(indicator());
  ASSERT_EQ(transport().sentCount(), 3u);
  EXPECT_EQ(transport().sentRequests()[0].url, "https://api.trevalo.io/a");

  transport().respondToNext(SimulatedHttpTransport::response(201, R"({"id":1})"));
  EXPECT_TRUE(calls.empty());  // nothing runs before the run loop does
  runUntilIdle();
  // One flag, not a counter: the first answer clears it while two are still pending.
  EXPECT_FALSE(indicator());
  transport().respondToNext(SimulatedHttpTransport::response(204));
  transport().respondToNext(Error("transport", 28));
  runUntilIdle();

  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].value, Json::parse(R"({"id":1})"));
  EXPECT_FALSE(calls[0].error);
  EXPECT_FALSE(calls[1].value);
  EXPECT_EQ(calls[1].error->code(), -9992);
  EXPECT_EQ(calls[2].error, Error("transport", 28));
  for (const auto& call : calls)
    EXPECT_TRUE(call.onRunLoop);
}

// A transport that misbehaves in the ways a completion must survive.
class MisbehavingTransport final : public HttpTransport {
 public:
  enum class Mode { kAnswerTwice, kDropCompletion, kRaise };
  explicit MisbehavingTransport(Mode mode) : mode_(mode) {}

  void send(HttpRequest, Completion completion) override {
    if (mode_ == Mode::kRaise) throw std::runtime_error("transport broken");
    if (mode_ == Mode::kAnswerTwice) {
      completion(SimulatedHttpTransport::response(200, "[]"), std::nullopt);
      completion(std::nullopt, Error("again", 1));
    }
  }

 private:
  Mode mode_;
};

TEST_F(TRNetworkClientTest, AMisbehavingTransportStillCompletesAtMostOnce) {
  using Mode = MisbehavingTransport::Mode;
  const struct {
    Mode mode;
    std::size_t completions;
    std::optional<Json> value;
    std::optional<Error> error;
  } cases[] = {
      {Mode::kAnswerTwice, 1, Json::array(), std::nullopt},
      // A request the transport lets go of unanswered is completed as cancelled.
      {Mode::kDropCompletion, 1, std::nullopt, HttpTransport::cancelledError()},
      {Mode::kRaise, 0, std::nullopt, std::nullopt},
  };
  client.setApiKey("k");
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    calls.clear();
    platform().setHttpTransport(std::make_shared<MisbehavingTransport>(c.mode));
    bool raised = false;
    try {
      client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
    } catch (const std::runtime_error&) {
      raised = true;
    }
    EXPECT_EQ(raised, c.mode == Mode::kRaise);
    runUntilIdle();
    EXPECT_FALSE(indicator());
    ASSERT_EQ(calls.size(), c.completions);
    if (!calls.empty()) {
      EXPECT_EQ(calls[0].value, c.value);
      EXPECT_EQ(calls[0].error, c.error);
    }
  }
}

TEST_F(TRNetworkClientTest, HostsThatAreNotServerUrlsAreRefusedAndTheOldOnesKept) {
  EXPECT_EQ(client.hosts(), TRNetworkClient::Hosts{});
  const TRNetworkClient::Hosts local{"http://127.0.0.1:8080", "https://p", "https://r",
                                     "https://e"};
  client.setHosts(local);
  EXPECT_EQ(client.hosts(), local);
  for (const char* bad : {"", "api.trevalo.io", "ftp://h", "https://", "https:///path"}) {
    auto hosts = local;
    hosts.recordingService = bad;
    EXPECT_THROW(client.setHosts(hosts), Exception) << bad;
    EXPECT_THROW(TRNetworkClient{hosts}, Exception) << bad;
  }
  EXPECT_EQ(client.hosts(), local);
}

}  // namespace
}  // namespace trevalo
