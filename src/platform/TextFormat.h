#pragma once

#include <charconv>
#include <string>

namespace trevalo::platform {

// The shortest text that reads back to the same double ("4", "-1", "0.1", "1e+300").
inline std::string shortestText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace trevalo::platform
