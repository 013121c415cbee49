#include "simulation/TimeText.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace trevalo::simulation {

namespace {

// Parses exactly `digits` decimal digits at `at`, moving past them.
std::optional<int> digitsAt(std::string_view text, std::size_t& at, std::size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  at += digits;
  return value;
}

bool expect(std::string_view text, std::size_t& at, char wanted) {
  if (at >= text.size() || text[at] != wanted) return false;
  ++at;
  return true;
}

// The civil time of `date`, rounded down to whole seconds.
struct Civil {
  int year;
  unsigned month, day, hour, minute, second;
};

Civil civil(Date date) {
  using namespace std::chrono;
  const auto seconds = static_cast<long long>(std::floor(date.timeIntervalSince1970()));
  const sys_seconds instant{std::chrono::seconds(seconds)};
  const auto dayPoint = floor<days>(instant);
  const year_month_day ymd{dayPoint};
  const hh_mm_ss time{instant - dayPoint};
  return {static_cast<int>(ymd.year()),
          static_cast<unsigned>(ymd.month()),
          static_cast<unsigned>(ymd.day()),
          static_cast<unsigned>(time.hours().count()),
          static_cast<unsigned>(time.minutes().count()),
          static_cast<unsigned>(time.seconds().count())};
}

}  // namespace

std::optional<Date> TimeText::dayStart(int year, unsigned month, unsigned day) {
  using namespace std::chrono;
  const year_month_day ymd{std::chrono::year{year}, std::chrono::month{month},
                           std::chrono::day{day}};
  if (!ymd.ok()) return std::nullopt;
  return Date(static_cast<double>(sys_days{ymd}.time_since_epoch().count()) * 86400.0);
}

std::optional<Date> TimeText::parseIso8601(std::string_view text) {
  std::size_t at = 0;
  const auto year = digitsAt(text, at, 4);
  if (!year || !expect(text, at, '-')) return std::nullopt;
  const auto month = digitsAt(text, at, 2);
  if (!month || !expect(text, at, '-')) return std::nullopt;
  const auto day = digitsAt(text, at, 2);
  if (!day || at >= text.size() || (text[at] != 'T' && text[at] != 't' && text[at] != ' ')) {
    return std::nullopt;
  }
  ++at;
  const auto hour = digitsAt(text, at, 2);
  if (!hour || !expect(text, at, ':')) return std::nullopt;
  const auto minute = digitsAt(text, at, 2);
  if (!minute || !expect(text, at, ':')) return std::nullopt;
  const auto second = digitsAt(text, at, 2);
  // 60 allows a leap second, which lands on the next minute's first second.
  if (!second || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;

  double fraction = 0.0;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    ++at;
    double scale = 0.1;
    const std::size_t first = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      fraction += scale * (text[at] - '0');
      scale /= 10.0;
      ++at;
    }
    if (at == first) return std::nullopt;
  }

  int offsetSeconds = 0;
  if (at < text.size()) {
    const char zone = text[at++];
    if (zone == 'Z' || zone == 'z') {
      // UTC
    } else if (zone == '+' || zone == '-') {
      const auto zoneHours = digitsAt(text, at, 2);
      if (!zoneHours) return std::nullopt;
      if (at < text.size() && text[at] == ':') ++at;
      const auto zoneMinutes = digitsAt(text, at, 2);
      if (!zoneMinutes || *zoneHours > 23 || *zoneMinutes > 59) return std::nullopt;
      offsetSeconds = (*zoneHours * 3600 + *zoneMinutes * 60) * (zone == '+' ? 1 : -1);
    } else {
      return std::nullopt;
    }
  }
  if (at != text.size()) return std::nullopt;

  const auto midnight = dayStart(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
  if (!midnight) return std::nullopt;
  return midnight->dateByAddingTimeInterval(*hour * 3600.0 + *minute * 60.0 + *second + fraction -
                                            offsetSeconds);
}

std::string TimeText::iso8601(Date date) {
  const Civil c = civil(date);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02uZ", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  return text;
}

std::string TimeText::clock(Date date) {
  const Civil c = civil(date);
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u", c.hour, c.minute);
  return text;
}

std::string TimeText::day(Date date) {
  const Civil c = civil(date);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", c.year, c.month, c.day);
  return text;
}

std::string TimeText::duration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0.0) seconds = 0.0;
  const auto whole = static_cast<long long>(std::llround(seconds));
  char text[48];
  if (whole < 60) {
    std::snprintf(text, sizeof text, "%lld s", whole);
  } else if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld min", (whole + 30) / 60);
  } else {
    const long long minutes = (whole + 30) / 60;
    std::snprintf(text, sizeof text, "%lld h %02lld min", minutes / 60, minutes % 60);
  }
  return text;
}

}  // namespace trevalo::simulation
