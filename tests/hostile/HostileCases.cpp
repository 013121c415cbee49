#include "HostileCases.h"

#include <curl/curl.h>

#include <cctype>

#include "trevalo/platform/HttpTransport.h"

namespace trevalo::testing {

std::vector<HostileCase> hostileCases() {
  using Kind = HostileServer::Behaviour::Kind;
  using Behaviour = HostileServer::Behaviour;
  constexpr const char* kService = "Trevalo";
  const std::string kTransport = platform::HttpTransport::kErrorDomain;

  Behaviour truncated = Behaviour::answer(200, R"({"venue":{"id":"v)");
  truncated.kind = Kind::kTruncate;
  truncated.declaredLength = 4096;

  Behaviour drip;
  drip.kind = Kind::kDrip;
  drip.interval = std::chrono::milliseconds(50);

  Behaviour dropped = Behaviour::answer(
      200, R"({"venue":{"id":"v-1","name":")" + std::string(8192, 'x') + R"("}})");
  dropped.kind = Kind::kDrop;

  Behaviour flood;
  flood.kind = Kind::kFlood;
  flood.floodBytes = std::uint64_t{100} * 1024 * 1024;

  Behaviour notHttp;
  notHttp.kind = Kind::kGarbage;
  notHttp.body = std::string("\x16\x03\x01\x02\x00\x01\xfc", 7) + "\r\n\r\nnot http at all";

  std::string deep(100000, '[');
  deep += std::string(100000, ']');

  return {
      {"Status500", Behaviour::answer(500, R"({"error":"boom"})"), kService, -9992},
      {"Status204", Behaviour::answer(204), kService, -9992},
      {"TruncatedBody", truncated, kTransport, CURLE_PARTIAL_FILE},
      {"SlowDripPastTheTimeout", drip, kTransport, CURLE_OPERATION_TIMEDOUT},
      {"ConnectionResetMidBody", dropped, kTransport, CURLE_RECV_ERROR},
      {"HundredMegabyteBody", flood, kTransport, CURLE_FILESIZE_EXCEEDED},
      {"GarbageInsteadOfHttp", notHttp, kTransport, CURLE_UNSUPPORTED_PROTOCOL},
      {"GarbageBody", Behaviour::answer(200, std::string("\xff\xfe{{ garbage", 12)), kService,
       -9999},
      {"JsonNestedHundredThousandDeep", Behaviour::answer(200, deep), kService, -9999},
  };
}

std::string caseName(const HostileCase& hostile) {
  std::string name;
  for (const char c : hostile.name) {
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  }
  return name;
}

}  // namespace trevalo::testing
