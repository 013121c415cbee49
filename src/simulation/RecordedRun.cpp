#include "simulation/RecordedRun.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "simulation/TraceReadError.h"

namespace trevalo::simulation {

void RecordedRun::writeJsonLines(std::ostream& out) const {
  for (const RunEvent& event : events)
    out << event.toJson().dump() << '\n';
}

RecordedRun RecordedRun::readJsonLines(std::string_view text) {
  RecordedRun run;
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  std::optional<Date> previous;
  while (at < text.size()) {
    const auto end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    const Json json = Json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) throw TraceReadError(lineNumber, "not valid JSON");
    try {
      run.events.push_back(RunEvent::fromJson(json));
    } catch (const RunEventError& error) {
      throw TraceReadError(lineNumber, error.what());
    }
    const Date time = run.events.back().time;
    if (previous && time < *previous) throw TraceReadError(lineNumber, "\"t\" goes back in time");
    previous = time;
  }
  return run;
}

}  // namespace trevalo::simulation
