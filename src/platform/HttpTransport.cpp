#include "trevalo/platform/HttpTransport.h"

#include <cmath>
#include <string_view>

namespace trevalo::platform {

namespace {

// The characters HTTP allows in a method or a field name.
bool isToken(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const bool alphanumeric =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alphanumeric && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// A line break or NUL in a value would end the field early and let the rest of the value pose
// as further fields or a body.
bool isSafeFieldValue(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

Error HttpTransport::cancelledError() {
  return Error(kErrorDomain, kErrorCancelled,
               {{Error::kLocalizedDescriptionKey, "The request was cancelled"}});
}

Error HttpTransport::invalidRequestError(const std::string& reason) {
  return Error(kErrorDomain, kErrorInvalidRequest, {{Error::kLocalizedDescriptionKey, reason}});
}

std::optional<std::string> HttpTransport::invalidRequestReason(const HttpRequest& request) {
  if (!isToken(request.httpMethod)) return "The HTTP method is not a valid token";
  for (const auto& [name, value] : request.headers.fields()) {
    if (!isToken(name)) return "A header field name is not a valid token";
    if (!isSafeFieldValue(value)) return "A header field value contains a line break or NUL";
  }
  if (!std::isfinite(request.timeoutInterval) || request.timeoutInterval <= 0.0) {
    return "The timeout interval must be a positive number of seconds";
  }
  return std::nullopt;
}

}  // namespace trevalo::platform
