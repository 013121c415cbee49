#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "trevalo/Json.h"
#include "trevalo/platform/Location.h"

namespace trevalo {

// The flat dictionary form of a location used in request bodies, logs and recordings: the
// numbers "latitude", "longitude", "timestamp" (seconds since 1970), "altitude", "course",
// "speed", "horizontalAccuracy" and "verticalAccuracy".
class LocationDictionary {
 public:
  LocationDictionary() = delete;

  // Reads a location leniently. A member counts when it holds a number (or Boolean) or a
  // string, which is read as the decimal number at its start (0 when there is none); null,
  // arrays and objects count as absent. Without both coordinates the location is at (0, 0)
  // with an invalid horizontal accuracy (-1); without an altitude the vertical accuracy is
  // invalid (-1). "timestamp", "course" and "speed" are read only from numbers (0 when
  // missing). Anything other than an object reads like an empty dictionary.
  //
  // "timestamp" is seconds since 1970 whatever `timeInMilliseconds` says: that is what
  // `dictionaryRepresentation` writes and what every recording holds.
  static Location initWithDictionary(const Json& dictionary, bool timeInMilliseconds);

  // Text that does not parse (or is not an object) reads like an empty dictionary.
  static Location initWithJSON(std::string_view text);

  // NaN components are left out.
  static Json dictionaryRepresentation(const Location& location);

  // The dictionary as indented JSON text; nothing when a component is infinite, since JSON has
  // no way to write it.
  static std::optional<std::string> JSONString(const Location& location);
};

}  // namespace trevalo
