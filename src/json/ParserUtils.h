#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "trevalo/Json.h"
#include "trevalo/platform/Date.h"

namespace trevalo::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace trevalo::platform

namespace trevalo {

// Tolerant access to JSON values from the service, and the one rule by which the SDK adds
// values to the JSON it writes. No JSON operation here throws: a missing value (a null
// pointer), a missing key, a JSON null or a value of the wrong kind gives a fixed default.
//
// Booleans count as numbers throughout (true is 1, false is 0), as they do for the service.
//
// The accessors that hand back a member return a pointer into the value passed in, so they
// chain: `stringValue(map(&response, "venue"), "name")`. They do not accept temporaries.
// Conversions to integers never overflow: NaN gives 0, and values beyond the range of the
// result (infinities included) saturate at its smallest or largest value.
class ParserUtils {
 public:
  ParserUtils() = delete;

  // The member if `value` is an object and the member is there and not null.
  static const Json* object(const Json* value, std::string_view key);
  // The member if `value` is an object and the member is an object.
  static const Json* map(const Json* value, std::string_view key);
  // The member if `value` is an object and the member is an array.
  static const Json* array(const Json* value, std::string_view key);
  // The member if it is a string; a number is not converted.
  static const Json* stringValue(const Json* value, std::string_view key);
  // The member if it is a number or a Boolean.
  static const Json* numberValue(const Json* value, std::string_view key);
  // `value` itself if it is a number or a Boolean.
  static const Json* numberValueForObject(const Json* value);

  // The number member truncated toward zero; 0 (or `defaultValue`) when there is no number.
  static std::int64_t intValue(const Json* value, std::string_view key);
  static std::int64_t intValue(const Json* value, std::string_view key, std::int32_t defaultValue);
  // The number member; 0 when there is none. A double beyond the range of float gives an
  // infinity of its sign.
  static float floatValue(const Json* value, std::string_view key);
  static double doubleValue(const Json* value, std::string_view key);

  // The truth of a loose JSON value: numbers and Booleans by being non-zero; the strings
  // "true", "yes", "false", "no" and "0" in any case; other strings by their first significant
  // character (after white space, a sign and leading zeros: Y, y, T, t or 1-9 are true).
  // Nothing, null, arrays and objects give the default.
  static bool boolValue(const Json* value);
  static bool boolValueWithDefault(const Json* value, bool defaultValue);
  // The truth of a member; false (or the default) when `value` is not an object.
  static bool boolValueForKey(const Json* value, std::string_view key);
  static bool boolValueForKeyWithDefault(const Json* value, std::string_view key,
                                         bool defaultValue);

  // A string literal would silently become a `true` default; these make that a compile error.
  static bool boolValueWithDefault(const Json* value, const char* key) = delete;
  static bool boolValueForKeyWithDefault(const Json* value, std::string_view key,
                                         const char* defaultValue) = delete;

  // The value of hexadecimal text (leading white space and a 0x prefix allowed), as an
  // unsigned 32-bit value; 0 without digits, 0xFFFFFFFF when it does not fit.
  static std::uint64_t hexValue(std::string_view text);

  // The member if it is a number; if it is a string, the signed 64-bit integer at its start
  // (leading white space and a sign allowed; 0 without digits; saturated when it does not
  // fit); otherwise nothing.
  static std::optional<Json> forceNumber(const Json* value, std::string_view key);

  // The number member, a count of milliseconds, in seconds; 0 when there is none.
  static double dateDoubleMilliseconds(const Json* value, std::string_view key);
  // The instant the number member counts milliseconds from 1970 to; 1970 itself when there is
  // none.
  static Date dateFromMilliseconds(const Json* value, std::string_view key);

  // Dates in archives are plain doubles of seconds since 1970; no date writes nothing.
  static void encodeDate(const std::optional<Date>& date, platform::KeyedArchiver& coder,
                         std::string_view key);
  // Nothing when the key holds no value. A value of another kind raises ArchiveError, as every
  // other read of a damaged archive does.
  static std::optional<Date> decodeDate(platform::KeyedUnarchiver& coder, std::string_view key);

  // Stores `value` under `key` unless it is absent or a NaN number, in which case an earlier
  // member stays. Strings are stored trimmed of spaces (every Unicode space separator) and
  // tabs at both ends; line breaks are kept. A null `dictionary` becomes an object; a
  // `dictionary` of another kind is left alone.
  static void addToDictionary(Json& dictionary, std::string_view key, std::optional<Json> value);
  // Appends `value` if there is one. A null `array` becomes an array; another kind is left
  // alone.
  static void addToArray(Json& array, std::optional<Json> value);

  // Reference forms of the above, for values at hand.
  static const Json* object(const Json& value, std::string_view key) { return object(&value, key); }
  static const Json* map(const Json& value, std::string_view key) { return map(&value, key); }
  static const Json* array(const Json& value, std::string_view key) { return array(&value, key); }
  static const Json* stringValue(const Json& value, std::string_view key) {
    return stringValue(&value, key);
  }
  static const Json* numberValue(const Json& value, std::string_view key) {
    return numberValue(&value, key);
  }
  static const Json* numberValueForObject(const Json& value) {
    return numberValueForObject(&value);
  }
  // The result would point into a temporary.
  static const Json* object(Json&& value, std::string_view key) = delete;
  static const Json* map(Json&& value, std::string_view key) = delete;
  static const Json* array(Json&& value, std::string_view key) = delete;
  static const Json* stringValue(Json&& value, std::string_view key) = delete;
  static const Json* numberValue(Json&& value, std::string_view key) = delete;
  static const Json* numberValueForObject(Json&& value) = delete;

  static std::int64_t intValue(const Json& value, std::string_view key) {
    return intValue(&value, key);
  }
  static std::int64_t intValue(const Json& value, std::string_view key, std::int32_t defaultValue) {
    return intValue(&value, key, defaultValue);
  }
  static float floatValue(const Json& value, std::string_view key) {
    return floatValue(&value, key);
  }
  static double doubleValue(const Json& value, std::string_view key) {
    return doubleValue(&value, key);
  }
  static bool boolValue(const Json& value) { return boolValue(&value); }
  static bool boolValueWithDefault(const Json& value, bool defaultValue) {
    return boolValueWithDefault(&value, defaultValue);
  }
  static bool boolValueForKey(const Json& value, std::string_view key) {
    return boolValueForKey(&value, key);
  }
  static bool boolValueForKeyWithDefault(const Json& value, std::string_view key,
                                         bool defaultValue) {
    return boolValueForKeyWithDefault(&value, key, defaultValue);
  }
  static bool boolValueWithDefault(const Json& value, const char* key) = delete;
  static bool boolValueForKeyWithDefault(const Json& value, std::string_view key,
                                         const char* defaultValue) = delete;
  static std::optional<Json> forceNumber(const Json& value, std::string_view key);
  static double dateDoubleMilliseconds(const Json& value, std::string_view key) {
    return dateDoubleMilliseconds(&value, key);
  }
  static Date dateFromMilliseconds(const Json& value, std::string_view key) {
    return dateFromMilliseconds(&value, key);
  }
};

}  // namespace trevalo
