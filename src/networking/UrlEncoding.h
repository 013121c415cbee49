#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trevalo {

// The pieces of URL text the network client writes itself: percent-encoding, numbers and the
// identifiers it inserts into paths and queries.
class UrlEncoding {
 public:
  UrlEncoding() = delete;

  // `text` with every byte that may not appear in a URL query written as "%XX" (upper-case
  // hexadecimal). Letters, digits, "-._~", "!$&'()*+,;=", ":@" and "/?" stay as they are;
  // spaces, "%", "#", control characters and every byte of a non-ASCII (UTF-8) character are
  // encoded.
  static std::string percentEncodedForQuery(std::string_view text);

  // The shortest plain decimal text (no exponent) that reads back as the same double ("51.5",
  // "-0.1278", "0.0000001", "100000"), independent of the locale; nothing for NaN and the
  // infinities, which no server reads as a number.
  static std::optional<std::string> decimal(double value);

  // Whether `text` can stand unencoded in a path segment or a query value without changing
  // what the URL points to: not empty, not "." or "..", and only letters, digits and "-._~".
  static bool isPlainIdentifier(std::string_view text);
};

}  // namespace trevalo
