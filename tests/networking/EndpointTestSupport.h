#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/Json.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/SimulatedHttpTransport.h"

namespace trevalo::testing {

// What one completion received, and whether it ran on the run loop.
struct CompletionCall {
  std::optional<Json> value;
  std::optional<Error> error;
  bool onRunLoop = false;
};

inline std::shared_ptr<TRFilter> makeFilter(std::optional<std::string> category, double radius,
                                            std::optional<std::string> name = std::nullopt) {
  auto made = std::make_shared<TRFilter>();
  made->venueCategory = std::move(category);
  made->venueName = std::move(name);
  made->radius = radius;
  return made;
}

// The network client of the endpoint tests, with a token, on the simulated transport.
class EndpointTest : public PlatformTest {
 protected:
  static constexpr const char* kToken = "T0K3N";

  void SetUp() override {
    PlatformTest::SetUp();
    client.setApiKey(kToken);
  }

  TRNetworkClient::Completion record() {
    return [this](std::optional<Json> value, std::optional<Error> error) {
      calls.push_back({std::move(value), std::move(error), runLoop().isCurrent()});
    };
  }

  platform::SimulatedHttpTransport& transport() const {
    return platform().simulatedHttpTransport();
  }

  // The one request sent so far.
  platform::HttpRequest onlyRequest() const {
    const auto sent = transport().sentRequests();
    EXPECT_EQ(sent.size(), 1u);
    return sent.empty() ? platform::HttpRequest{} : sent.back();
  }

  static std::string bodyText(const platform::HttpRequest& request) {
    return request.body ? std::string(request.body->begin(), request.body->end()) : std::string();
  }

  // The call was refused: nothing sent, and after the run loop ran, one invalid-request error
  // (but none before it ran).
  void expectRefused(const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(calls.empty()) << "completed inside the call";
    runUntilIdle();
    EXPECT_EQ(transport().sentCount(), 0u);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].value);
    ASSERT_TRUE(calls[0].error);
    EXPECT_EQ(calls[0].error->domain(), TRNetworkClient::kErrorDomain);
    EXPECT_EQ(calls[0].error->code(), TRNetworkClient::kInvalidRequestErrorCode);
    EXPECT_FALSE(calls[0].error->localizedDescription().empty());
    EXPECT_TRUE(calls[0].onRunLoop);
    calls.clear();
  }

  TRNetworkClient client;
  std::vector<CompletionCall> calls;
};

}  // namespace trevalo::testing
