#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "trevalo/platform/Error.h"
#include "trevalo/platform/HttpRequest.h"
#include "trevalo/platform/HttpResponse.h"

namespace trevalo::platform {

// Sends HTTP requests. Every request handed to `send` completes exactly once: with a response
// (whatever its status) and no error, or with a transport error and no response. The
// completion runs on a thread of the transport's choosing, possibly before `send` returns; it
// should hand its work on rather than block. `send` is safe from any thread.
class HttpTransport {
 public:
  using Completion = std::function<void(std::optional<HttpResponse>, std::optional<Error>)>;

  // Transport errors carry this domain. Codes above zero are the codes of the HTTP library
  // (with its message as the description); the codes below are the transport's own.
  static constexpr const char* kErrorDomain = "TrevaloHttpTransport";
  // The request was cancelled: the transport shut down while it was pending.
  static constexpr std::int64_t kErrorCancelled = -999;
  // The request cannot be sent as given (a header field or method that would break the
  // framing, a timeout that is not a positive number).
  static constexpr std::int64_t kErrorInvalidRequest = -1000;

  static Error cancelledError();
  static Error invalidRequestError(const std::string& reason);
  // Whether `request` can be put on the wire unchanged; the reason when it cannot.
  static std::optional<std::string> invalidRequestReason(const HttpRequest& request);

  HttpTransport() = default;
  virtual ~HttpTransport() = default;
  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;

  virtual void send(HttpRequest request, Completion completion) = 0;
};

}  // namespace trevalo::platform
