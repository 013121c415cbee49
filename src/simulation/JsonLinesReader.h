#pragma once

#include <string_view>

#include "simulation/Trace.h"

namespace trevalo::simulation {

// Reads a JSON Lines trace (the records of JsonTraceLine, one a line; blank lines skipped).
// The trace is our own format, so any fault is fatal: a line that is not a valid record, or
// whose time is earlier than the line before it, stops with TraceReadError at that line.
// "wifi_check" lines are accepted and left out (a replayed device checks Wi-Fi by itself).
class JsonLinesReader {
 public:
  static Trace read(std::string_view bytes);
};

}  // namespace trevalo::simulation
