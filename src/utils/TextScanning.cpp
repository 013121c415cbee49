#include "utils/TextScanning.h"

#include <charconv>
#include <limits>
#include <string>
#include <system_error>

namespace trevalo::text_scanning {

namespace {

bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

std::size_t skipWhiteSpace(std::string_view text, std::size_t i) {
  while (i < text.size() && isWhiteSpace(text[i]))
    ++i;
  return i;
}

}  // namespace

DecodedCharacter decodeUtf8At(std::string_view text, std::size_t position) {
  if (position >= text.size()) return {};
  const auto lead = static_cast<unsigned char>(text[position]);
  if (lead < 0x80) return {lead, 1};

  std::size_t length = 0;
  char32_t codePoint = 0;
  char32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    codePoint = lead & 0x1F;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    codePoint = lead & 0x0F;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    codePoint = lead & 0x07;
    smallest = 0x10000;
  } else {
    return {};
  }
  if (text.size() - position < length) return {};
  for (std::size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[position + k]);
    if (!isContinuation(byte)) return {};
    codePoint = (codePoint << 6) | (byte & 0x3F);
  }
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (codePoint < smallest || codePoint > 0x10FFFF || surrogate) return {};
  return {codePoint, length};
}

std::size_t utf8SequenceStartBefore(std::string_view text, std::size_t end) {
  std::size_t start = end - 1;
  // A character is at most four bytes; anything longer is malformed and handled byte by byte.
  while (start > 0 && end - start < 4 && isContinuation(static_cast<unsigned char>(text[start]))) {
    --start;
  }
  return start;
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::int64_t leadingInt64(std::string_view text) {
  std::size_t i = skipWhiteSpace(text, 0);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a negative number, whose range is the larger one.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    const int digit = text[i] - '0';
    if (value < (kMin + digit) / 10) {
      saturated = true;
    } else if (!saturated) {
      value = value * 10 - digit;
    }
  }
  if (saturated) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

std::optional<double> leadingDecimal(std::string_view text) {
  std::size_t i = skipWhiteSpace(text, 0);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t numberStart = i;

  // Decimal order of magnitude of the first significant digit, to tell an overflow from an
  // underflow when the value does not fit a double.
  std::int64_t order = 0;
  bool significant = false;
  std::size_t digits = 0;
  for (; i < text.size() && isDigit(text[i]); ++i, ++digits) {
    if (significant) {
      ++order;
    } else if (text[i] != '0') {
      significant = true;
    }
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits) {
      if (!significant) {
        --order;
        if (text[i] != '0') significant = true;
      }
    }
  }
  if (digits == 0) return std::nullopt;

  std::size_t numberEnd = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t k = i + 1;
    bool negativeExponent = false;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) negativeExponent = text[k++] == '-';
    if (k < text.size() && isDigit(text[k])) {
      std::int64_t exponent = 0;
      for (; k < text.size() && isDigit(text[k]); ++k) {
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[k] - '0');
      }
      order += negativeExponent ? -exponent : exponent;
      numberEnd = k;
    }
  }

  const std::string_view number = text.substr(numberStart, numberEnd - numberStart);
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    value = significant && order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (error != std::errc() || end != number.data() + number.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::string toValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto decoded = decodeUtf8At(text, i);
    if (decoded.length == 0) {
      valid += "\xEF\xBF\xBD";
      ++i;
    } else {
      valid.append(text.substr(i, decoded.length));
      i += decoded.length;
    }
  }
  return valid;
}

}  // namespace trevalo::text_scanning
