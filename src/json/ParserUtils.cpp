#include "json/ParserUtils.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "utils/TextScanning.h"

namespace trevalo {

namespace {

const Json* member(const Json* value, std::string_view key) {
  if (value == nullptr || !value->is_object()) return nullptr;
  const auto it = value->find(key);
  return it == value->end() ? nullptr : &*it;
}

bool isNumber(const Json& value) {
  return value.is_number() || value.is_boolean();
}

// nlohmann refuses to read a Boolean as a number, so it is done here.
double asDouble(const Json& number) {
  if (number.is_boolean()) return number.get<bool>() ? 1.0 : 0.0;
  return number.get<double>();
}

std::int64_t saturatingInt64(double value) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (value < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// Integers are read as integers, so that large ones keep every digit.
std::int64_t asInt64(const Json& number) {
  if (number.is_boolean()) return number.get<bool>() ? 1 : 0;
  if (number.is_number_integer() && !number.is_number_unsigned()) {
    return number.get<std::int64_t>();
  }
  if (number.is_number_unsigned()) {
    const auto unsignedValue = number.get<std::uint64_t>();
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return unsignedValue > kMax ? std::numeric_limits<std::int64_t>::max()
                                : static_cast<std::int64_t>(unsignedValue);
  }
  return saturatingInt64(number.get<double>());
}

float toFloat(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (std::isfinite(value) && std::fabs(value) > kMax) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    return value > 0 ? kInfinity : -kInfinity;
  }
  return static_cast<float>(value);
}

bool isAsciiWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string asciiLowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The loose truth of free text, for strings that are none of the known words: a leading
// Y/y/T/t or a non-zero digit, after white space, a sign and zeros.
bool textTruth(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isAsciiWhiteSpace(text[i]))
    ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0')
    ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool stringTruth(const std::string& text) {
  const std::string lower = asciiLowerCase(text);
  if (lower == "false" || lower == "no" || lower == "0") return false;
  if (lower == "yes" || lower == "true") return true;
  return textTruth(text);
}

// A Unicode space separator (general category Zs) or a tab, the characters the insertion rule
// trims. Line breaks are not among them.
bool isTrimmedSpace(char32_t c) {
  return c == U'\t' || c == U' ' || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string trimSpaces(const std::string& text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const auto decoded = text_scanning::decodeUtf8At(text, begin);
    if (decoded.length == 0 || !isTrimmedSpace(decoded.codePoint)) break;
    begin += decoded.length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    const std::size_t start = text_scanning::utf8SequenceStartBefore(text, end);
    if (start < begin) break;
    const auto decoded = text_scanning::decodeUtf8At(text, start);
    // Malformed bytes are kept as they are: they are not spaces.
    if (decoded.length != end - start || !isTrimmedSpace(decoded.codePoint)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

}  // namespace

const Json* ParserUtils::object(const Json* value, std::string_view key) {
  const Json* found = member(value, key);
  return found != nullptr && !found->is_null() ? found : nullptr;
}

const Json* ParserUtils::map(const Json* value, std::string_view key) {
  const Json* found = member(value, key);
  return found != nullptr && found->is_object() ? found : nullptr;
}

const Json* ParserUtils::array(const Json* value, std::string_view key) {
  const Json* found = member(value, key);
  return found != nullptr && found->is_array() ? found : nullptr;
}

const Json* ParserUtils::stringValue(const Json* value, std::string_view key) {
  const Json* found = member(value, key);
  return found != nullptr && found->is_string() ? found : nullptr;
}

const Json* ParserUtils::numberValue(const Json* value, std::string_view key) {
  return numberValueForObject(member(value, key));
}

const Json* ParserUtils::numberValueForObject(const Json* value) {
  return value != nullptr && isNumber(*value) ? value : nullptr;
}

std::int64_t ParserUtils::intValue(const Json* value, std::string_view key) {
  return intValue(value, key, 0);
}

std::int64_t ParserUtils::intValue(const Json* value, std::string_view key,
                                   std::int32_t defaultValue) {
  const Json* number = numberValue(value, key);
  return number != nullptr ? asInt64(*number) : defaultValue;
}

float ParserUtils::floatValue(const Json* value, std::string_view key) {
  return toFloat(doubleValue(value, key));
}

double ParserUtils::doubleValue(const Json* value, std::string_view key) {
  const Json* number = numberValue(value, key);
  return number != nullptr ? asDouble(*number) : 0.0;
}

bool ParserUtils::boolValue(const Json* value) {
  return boolValueWithDefault(value, false);
}

bool ParserUtils::boolValueWithDefault(const Json* value, bool defaultValue) {
  if (value == nullptr) return defaultValue;
  if (isNumber(*value)) return asDouble(*value) != 0.0;
  if (value->is_string()) return stringTruth(value->get_ref<const std::string&>());
  return defaultValue;
}

bool ParserUtils::boolValueForKey(const Json* value, std::string_view key) {
  if (value == nullptr || !value->is_object()) return false;
  return boolValue(member(value, key));
}

bool ParserUtils::boolValueForKeyWithDefault(const Json* value, std::string_view key,
                                             bool defaultValue) {
  if (value == nullptr || !value->is_object()) return defaultValue;
  return boolValueWithDefault(member(value, key), defaultValue);
}

std::uint64_t ParserUtils::hexValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isAsciiWhiteSpace(text[i]))
    ++i;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      i + 2 < text.size() && text_scanning::hexDigitValue(text[i + 2]) >= 0) {
    i += 2;
  }
  constexpr std::uint64_t kMax = 0xFFFFFFFFu;
  std::uint64_t result = 0;
  for (; i < text.size(); ++i) {
    const int digit = text_scanning::hexDigitValue(text[i]);
    if (digit < 0) break;
    // Further digits are consumed but cannot bring the value back into range.
    result = result > (kMax >> 4) ? kMax : (result << 4) | static_cast<unsigned>(digit);
  }
  return result;
}

std::optional<Json> ParserUtils::forceNumber(const Json* value, std::string_view key) {
  const Json* found = member(value, key);
  if (found == nullptr) return std::nullopt;
  if (isNumber(*found)) return *found;
  if (found->is_string()) {
    return Json(text_scanning::leadingInt64(found->get_ref<const std::string&>()));
  }
  return std::nullopt;
}

std::optional<Json> ParserUtils::forceNumber(const Json& value, std::string_view key) {
  return forceNumber(&value, key);
}

double ParserUtils::dateDoubleMilliseconds(const Json* value, std::string_view key) {
  return doubleValue(value, key) / 1000.0;
}

Date ParserUtils::dateFromMilliseconds(const Json* value, std::string_view key) {
  return Date(doubleValue(value, key) / 1000.0);
}

void ParserUtils::encodeDate(const std::optional<Date>& date, platform::KeyedArchiver& coder,
                             std::string_view key) {
  if (date) coder.encodeDouble(date->timeIntervalSince1970(), key);
}

std::optional<Date> ParserUtils::decodeDate(platform::KeyedUnarchiver& coder,
                                            std::string_view key) {
  if (!coder.containsValueForKey(key)) return std::nullopt;
  return Date(coder.decodeDouble(key));
}

void ParserUtils::addToDictionary(Json& dictionary, std::string_view key,
                                  std::optional<Json> value) {
  if (!value) return;
  if (!dictionary.is_object() && !dictionary.is_null()) return;
  if (value->is_number_float() && std::isnan(value->get<double>())) return;
  if (value->is_string()) {
    dictionary[std::string(key)] = trimSpaces(value->get_ref<const std::string&>());
    return;
  }
  dictionary[std::string(key)] = std::move(*value);
}

void ParserUtils::addToArray(Json& array, std::optional<Json> value) {
  if (!value) return;
  if (!array.is_array() && !array.is_null()) return;
  array.push_back(std::move(*value));
}

}  // namespace trevalo
