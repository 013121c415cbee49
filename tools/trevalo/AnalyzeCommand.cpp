// trevalo analyze TRACE.jsonl [--until T]
//
// Replays a recorded trace through a fresh location analyzer in virtual time and prints, one
// JSON object a line, every call the analyzer makes on its delegate. The trace is the JSON
// Lines trace of `trevalo replay` (see simulation/JsonTraceLine.h); lines the analyzer alone
// cannot use (accelerometer, heading, region entries) pass by it. Times never decrease;
// blank lines are skipped.
//
// After the last line the timers due at or before its time fire; `--until T` runs the clock
// on to T (a T before the last line changes nothing).
//
// Exit status: 0 on success; 2 for a trace that cannot be read or a malformed line (reported
// with its line number, after the output of the lines before it); 1 when the replay fails.
#include <CLI/CLI.hpp>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "Commands.h"
#include "ScratchDirectory.h"
#include "TraceReplay.h"
#include "simulation/JsonTraceLine.h"

namespace trevalo::tools {

namespace {

using simulation::JsonTraceLine;
using simulation::TraceLineError;

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

int analyze(const std::string& tracePath, std::optional<double> until) {
  std::ifstream in(tracePath);
  if (!in) {
    std::cerr << "trevalo analyze: cannot read " << tracePath << "\n";
    return kBadInput;
  }
  const auto fail = [&](std::size_t lineNumber, const std::string& message) {
    std::cout.flush();
    std::cerr << "trevalo analyze: " << tracePath << ":" << lineNumber << ": " << message << "\n";
    return kBadInput;
  };

  const ScratchDirectory documents;
  std::optional<TraceReplay> replay;
  std::string text;
  std::size_t lineNumber = 0;
  while (std::getline(in, text)) {
    ++lineNumber;
    if (isBlank(text)) continue;
    JsonTraceLine line;
    try {
      line = JsonTraceLine::parse(text);
    } catch (const TraceLineError& error) {
      return fail(lineNumber, error.what());
    }
    if (!replay) {
      replay.emplace(std::cout, documents.path(), line.time);
    } else if (line.time < replay->now()) {
      return fail(lineNumber, "\"t\" goes back in time (" +
                                  std::to_string(line.time.timeIntervalSince1970()) + " after " +
                                  std::to_string(replay->now().timeIntervalSince1970()) + ")");
    }
    replay->apply(line);
  }
  if (in.bad()) return fail(lineNumber + 1, "read error");
  if (replay) replay->finish(until ? Date(*until) : replay->now());
  std::cout.flush();
  return kDone;
}

}  // namespace

void addAnalyzeCommand(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "analyze",
      "Run the location analyzer alone on a JSON Lines trace in virtual time and print one JSON "
      "line per decision (mode changes, reverse-geocode requests, collected points, "
      "departures, processed locations)");
  auto trace = std::make_shared<std::string>();
  auto until = std::make_shared<std::optional<double>>();
  command->add_option("TRACE", *trace, "the trace, one JSON object a line")->required();
  command->add_option("--until", *until,
                      "run the clock on to this time (seconds since 1970) after the last line");
  command->callback([&status, trace, until] {
    status = reportingFailure("analyze", [&] { return analyze(*trace, *until); });
  });
}

}  // namespace trevalo::tools
