#include "UrlEncoding.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace trevalo {

namespace {

bool isUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool isQueryCharacter(unsigned char c) {
  if (isUnreserved(c)) return true;
  static constexpr std::string_view kOthers = "!$&'()*+,;=:@/?";
  return kOthers.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string UrlEncoding::percentEncodedForQuery(std::string_view text) {
  static constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if (isQueryCharacter(byte)) {
      encoded.push_back(character);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[byte >> 4]);
      encoded.push_back(kHex[byte & 0x0F]);
    }
  }
  return encoded;
}

std::optional<std::string> UrlEncoding::decimal(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // Fixed notation, never an exponent: the "+" of "1e+05" reads as a space to a server that
  // decodes the query as a form. Without a precision, to_chars still writes the fewest digits
  // that read back as the same double. The longest such text, of the largest double, has 309
  // digits before the point; of the smallest, 324 after it.
  std::array<char, 400> buffer{};
  const auto [end, error] =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
  if (error != std::errc()) return std::nullopt;
  return std::string(buffer.data(), end);
}

bool UrlEncoding::isPlainIdentifier(std::string_view text) {
  if (text.empty() || text == "." || text == "..") return false;
  for (const char character : text) {
    if (!isUnreserved(static_cast<unsigned char>(character))) return false;
  }
  return true;
}

}  // namespace trevalo
