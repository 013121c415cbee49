#pragma once

#include <optional>
#include <string>

#include "trevalo/platform/Bytes.h"
#include "trevalo/platform/HttpHeaders.h"

namespace trevalo::platform {

// One HTTP request as a transport sends it. A transport sends the method, the header fields
// and the body as they are, except "Content-Length", which it always derives from the body so
// that the framing on the wire cannot disagree with what is sent.
struct HttpRequest {
  static constexpr double kDefaultTimeoutInterval = 60.0;

  std::string url;
  std::string httpMethod = "GET";
  HttpHeaders headers;
  std::optional<Bytes> body;
  // Seconds the whole exchange may take before the transport gives up on it.
  double timeoutInterval = kDefaultTimeoutInterval;
};

}  // namespace trevalo::platform
