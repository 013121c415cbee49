#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "json/ParserUtils.h"
#include "platform/TextFormat.h"
#include "trevalo/Json.h"

// Small readers and text helpers that the model records share.
namespace trevalo::model_detail {

// A string member, or nothing when the member is missing, null or not a string.
inline std::optional<std::string> stringMember(const Json* map, std::string_view key) {
  const Json* value = ParserUtils::stringValue(map, key);
  if (!value) return std::nullopt;
  return value->get<std::string>();
}

// A count member. The service never sends a negative count; one that arrives anyway reads as 0
// rather than wrapping round to an enormous unsigned value.
inline std::uint64_t countMember(const Json* map, std::string_view key) {
  return static_cast<std::uint64_t>(std::max<std::int64_t>(0, ParserUtils::intValue(map, key)));
}

// Counts are archived as signed 64-bit integers; the conversion is modular both ways, so any
// count comes back as written.
inline std::int64_t archivedCount(std::uint64_t count) {
  return static_cast<std::int64_t>(count);
}
inline std::uint64_t countFromArchive(std::int64_t value) {
  return static_cast<std::uint64_t>(value);
}

// How descriptions show a text that may be missing.
inline std::string describe(const std::optional<std::string>& text) {
  return text ? *text : std::string("(null)");
}

inline std::string describe(double number) {
  return platform::shortestText(number);
}

// The default text form of a record: its class name and where it lives.
inline std::string describeIdentity(std::string_view className, const void* object) {
  if (!object) return "(null)";
  std::ostringstream text;
  text << '<' << className << ": " << object << '>';
  return text.str();
}

inline bool hasCharacters(const std::optional<std::string>& text) {
  return text && !text->empty();
}

}  // namespace trevalo::model_detail
