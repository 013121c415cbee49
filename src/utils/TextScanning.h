#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Locale-independent scanning of numbers at the start of loose text, and just enough UTF-8 to
// look at the characters at either end of a string.
namespace trevalo::text_scanning {

struct DecodedCharacter {
  char32_t codePoint = 0;
  std::size_t length = 0;  // 0: the bytes at that position are not well-formed UTF-8
};

DecodedCharacter decodeUtf8At(std::string_view text, std::size_t position);
// `text` with every byte that is not part of well-formed UTF-8 replaced by U+FFFD.
std::string toValidUtf8(std::string_view text);
// Where the character that ends at `end` (> 0) starts, assuming well-formed UTF-8.
std::size_t utf8SequenceStartBefore(std::string_view text, std::size_t end);

// 0-15 for a hexadecimal digit, -1 otherwise.
int hexDigitValue(char c);

// The integer at the start of `text`: white space, an optional sign, decimal digits. 0 without
// digits; saturated at the int64 limits when it does not fit.
std::int64_t leadingInt64(std::string_view text);

// The decimal number at the start of `text`: white space, an optional sign, digits with an
// optional fraction and exponent. Nothing when there are no digits. Hexadecimal, "inf" and
// "nan" are not numbers here. Magnitudes beyond a double give an infinity; tiny ones give 0.
std::optional<double> leadingDecimal(std::string_view text);

}  // namespace trevalo::text_scanning
