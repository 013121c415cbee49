#pragma once

#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Bytes.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/HttpResponse.h"

namespace trevalo {

// Turns what a transport delivered into a parsed JSON value or one error, never both:
//  1. a transport error is passed on unchanged;
//  2. a status other than 200 or 201 (a missing response reads as status 0) gives error -9992;
//  3. an empty body gives neither a value nor an error;
//  4. a body that is not a JSON object or array at the top level gives error -9999, and so
//     does one nested more deeply than kMaximumNestingDepth, which the rest of the SDK could
//     not walk without exhausting its stack; otherwise the parsed value.
class SessionResponseChecker {
 public:
  static constexpr std::size_t kMaximumNestingDepth = 512;

  SessionResponseChecker() = delete;

  // Each input may be absent (null). `error`, when given, receives the error of rules 1, 2 and 4
  // and is left untouched otherwise.
  static std::optional<Json> checkData(const platform::Bytes* data,
                                       const platform::HttpResponse* response,
                                       const Error* sessionError, std::optional<Error>* error);

  // The error for a server failure (-9992); the response is not read.
  static Error getErrorRes(const platform::HttpResponse* response);

  // The bytes up to the first NUL (or the end) as UTF-8 text; empty bytes give the empty string,
  // bytes that are not UTF-8 give nothing.
  static std::optional<std::string> stringFromData(const platform::Bytes& data);
};

}  // namespace trevalo
