#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "trevalo/platform/Date.h"

namespace trevalo::simulation {

// Reading and writing the times of traces and reports. All in UTC.
class TimeText {
 public:
  // "2024-06-01T08:30:05Z", with an optional fraction of a second and a "Z" or "+hh:mm" /
  // "-hh:mm" / "+hhmm" zone; no zone counts as UTC. Nothing for anything else.
  static std::optional<Date> parseIso8601(std::string_view text);
  // Midnight UTC of a calendar day; nothing for an impossible date.
  static std::optional<Date> dayStart(int year, unsigned month, unsigned day);
  // "2024-06-01T08:30:05Z" (whole seconds).
  static std::string iso8601(Date date);
  // "08:30" (hours and minutes of the day).
  static std::string clock(Date date);
  // "2024-06-01".
  static std::string day(Date date);
  // "2 h 05 min", "12 min", "40 s".
  static std::string duration(double seconds);
};

}  // namespace trevalo::simulation
