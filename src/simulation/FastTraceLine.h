#pragma once

#include <optional>
#include <string_view>

#include "simulation/JsonTraceLine.h"

namespace trevalo::simulation {

// The quick way through the two lines a long trace is made of, fixes and accelerometer
// readings, without building a JSON document. It takes a line only when it is sure of it: a
// flat object of plain members (no escapes in strings, no nested objects, no repeated
// members) whose fix or reading is valid. Anything else it leaves to JsonTraceLine::parse,
// which reads every line and words the errors; what the quick way gives is what the full
// parse would.
class FastTraceLine {
 public:
  static std::optional<JsonTraceLine> parse(std::string_view line);
};

}  // namespace trevalo::simulation
