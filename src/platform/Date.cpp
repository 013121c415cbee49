#include "trevalo/platform/Date.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "trevalo/platform/Platform.h"

namespace trevalo::platform {

Date Date::now() {
  return Platform::current().clock().now();
}

std::string Date::description() const {
  if (!std::isfinite(seconds_)) return std::to_string(seconds_);
  const double whole = std::floor(seconds_);
  // Clamp to what gmtime can show; such instants are never real fixes.
  if (std::fabs(whole) > 6.7e10) return std::to_string(seconds_);
  const auto time = static_cast<std::time_t>(whole);
  std::tm utc{};
  ::gmtime_r(&time, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  std::string result = text;
  const auto millis = static_cast<long>((seconds_ - whole) * 1000.0);
  if (millis > 0 && millis < 1000) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03ld", millis);
    result += fraction;
  }
  return result + " +0000";
}

}  // namespace trevalo::platform
