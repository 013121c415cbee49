#include "trevalo/platform/simulated/SimulatedHttpTransport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trevalo::platform {
namespace {

struct Outcome {
  int status = 0;
  std::optional<std::int64_t> errorCode;
};

HttpTransport::Completion recordInto(std::vector<Outcome>& outcomes) {
  return [&outcomes](std::optional<HttpResponse> response, std::optional<Error> error) {
    outcomes.push_back(
        {response ? response->statusCode : 0, error ? std::optional(error->code()) : std::nullopt});
  };
}

HttpRequest to(std::string url) {
  HttpRequest request;
  request.url = std::move(url);
  return request;
}

TEST(SimulatedHttpTransportTest, AnswersEachRequestOnceInAnyOrderAndCancelsTheRestWhenGone) {
  std::vector<Outcome> outcomes;  // outlives the transport, which cancels what is left
  {
    SimulatedHttpTransport transport;
    transport.send(to("http://a"), recordInto(outcomes));
    transport.send(to("http://b"), recordInto(outcomes));
    transport.send(to("http://c"), recordInto(outcomes));
    const auto pending = transport.pendingRequests();
    ASSERT_EQ(pending.size(), 3u);
    EXPECT_EQ(pending[1].request.url, "http://b");

    EXPECT_TRUE(transport.respond(pending[1].identifier, SimulatedHttpTransport::response(204)));
    EXPECT_FALSE(transport.respond(pending[1].identifier, SimulatedHttpTransport::response(200)));
    EXPECT_TRUE(transport.respondToNext(Error("net", 7)));  // the oldest: "a"
    EXPECT_EQ(transport.pendingRequests().front().request.url, "http://c");
  }
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes[0].status, 204);
  EXPECT_FALSE(outcomes[0].errorCode);
  EXPECT_EQ(outcomes[1].errorCode, 7);
  EXPECT_EQ(outcomes[2].errorCode, HttpTransport::kErrorCancelled);
}

}  // namespace
}  // namespace trevalo::platform
