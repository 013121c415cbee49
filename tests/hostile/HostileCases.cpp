#include "HostileCases.h"

#include <curl/curl.h>

#include "trevalo/platform/HttpTransport.h"

namespace trevalo::testing {

namespace {

// Hands every request to another transport with its timeout cut to `timeout` seconds.
class ShortTimeoutTransport final : public platform::HttpTransport {
 public:
  ShortTimeoutTransport(std::shared_ptr<platform::HttpTransport> transport, double timeout)
      : transport_(std::move(transport)), timeout_(timeout) {}

  void send(platform::HttpRequest request, Completion completion) override {
    if (request.timeoutInterval > timeout_) request.timeoutInterval = timeout_;
    transport_->send(std::move(request), std::move(completion));
  }

 private:
  std::shared_ptr<platform::HttpTransport> transport_;
  double timeout_;
};

}  // namespace

std::shared_ptr<platform::HttpTransport> hostileTransport(
    platform::CurlHttpTransport::Options options) {
  return std::make_shared<ShortTimeoutTransport>(
      std::make_shared<platform::CurlHttpTransport>(options), 0.5);
}

std::vector<HostileCase> hostileCases() {
  using Kind = HostileServer::Behaviour::Kind;
  using Behaviour = HostileServer::Behaviour;
  constexpr const char* kService = "Trevalo";
  const std::string kTransport = platform::HttpTransport::kErrorDomain;

  const Behaviour truncated{.body = R"({"venue":{"id":"v)", .declaredLength = 4096};
  const Behaviour drip{.kind = Kind::kDrip, .interval = std::chrono::milliseconds(50)};
  const Behaviour dropped{
      .kind = Kind::kDrop,
      .body = R"({"venue":{"id":"v-1","name":")" + std::string(8192, 'x') + R"("}})"};
  const Behaviour flood{.kind = Kind::kFlood, .floodBytes = std::uint64_t{100} * 1024 * 1024};
  const Behaviour notHttp{
      .kind = Kind::kGarbage,
      .body = std::string("\x16\x03\x01\x02\x00\x01\xfc", 7) + "\r\n\r\nnot http at all"};

  return {
      {"Status500", Behaviour::answer(500, R"({"error":"boom"})"), kService, -9992},
      {"TruncatedBody", truncated, kTransport, CURLE_PARTIAL_FILE},
      {"SlowDripPastTheTimeout", drip, kTransport, CURLE_OPERATION_TIMEDOUT},
      {"ConnectionResetMidBody", dropped, kTransport, CURLE_RECV_ERROR},
      {"HundredMegabyteBody", flood, kTransport, CURLE_FILESIZE_EXCEEDED},
      {"GarbageInsteadOfHttp", notHttp, kTransport, CURLE_UNSUPPORTED_PROTOCOL},
      {"GarbageBody", Behaviour::answer(200, std::string("\xff\xfe{{ garbage", 12)), kService,
       -9999},
  };
}

}  // namespace trevalo::testing
