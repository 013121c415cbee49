#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "simulation/RunEvent.h"

namespace trevalo::simulation {

// Everything that happened in one replay, in the order it happened: the input of the run
// summary and of the HTML report, and, one JSON object a line, the `--events` file.
struct RecordedRun {
  std::vector<RunEvent> events;

  void add(RunEvent event) { events.push_back(std::move(event)); }

  void writeJsonLines(std::ostream& out) const;
  // Raises TraceReadError (with the line number) for a line that is not a valid event or
  // whose time is earlier than the line before it. Blank lines are skipped.
  static RecordedRun readJsonLines(std::string_view text);
};

}  // namespace trevalo::simulation
