// trevalo-analyze TRACE.jsonl [--until T]
//
// Replays a recorded trace through a fresh location analyzer in virtual time and prints, one
// JSON object a line, every call the analyzer makes on its delegate. Input lines:
//   {"t": T, "type": "fix", "lat": D, "lng": D, "acc": M, "course": D, "speed": V}
//   {"t": T, "type": "activity", "value": N}
//   {"t": T, "type": "wifi", "ssid": "name" or null}
//   {"t": T, "type": "wifi_check"}
//   {"t": T, "type": "region_exit"}
// with t in seconds since 1970, never decreasing. Blank lines are skipped.
//
// After the last event the timers due at or before its t fire; `--until T` runs the clock on
// to T (a T before the last event changes nothing).
//
// Exit status: 0 on success; 2 for a usage error, a trace that cannot be read or a malformed
// line (reported with its line number, after the output of the lines before it); 1 when the
// replay itself fails.
#include <cmath>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "ScratchDirectory.h"
#include "TraceEvent.h"
#include "TraceReplay.h"

namespace {

using trevalo::Date;
using trevalo::tools::ScratchDirectory;
using trevalo::tools::TraceError;
using trevalo::tools::TraceEvent;
using trevalo::tools::TraceReplay;

constexpr int kInputError = 2;
constexpr int kReplayFailure = 1;
constexpr const char* kUsage = "usage: trevalo-analyze TRACE.jsonl [--until T]\n";

struct Arguments {
  std::string trace;
  std::optional<double> until;
};

std::optional<double> parseTime(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Nothing (after printing why) when the arguments are not usable.
std::optional<Arguments> parseArguments(int argc, char** argv) {
  Arguments arguments;
  bool haveTrace = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--until") {
      if (i + 1 >= argc) {
        std::cerr << "trevalo-analyze: --until needs a time in seconds since 1970\n" << kUsage;
        return std::nullopt;
      }
      arguments.until = parseTime(argv[++i]);
      if (!arguments.until) {
        std::cerr << "trevalo-analyze: --until: not a finite number: " << argv[i] << "\n";
        return std::nullopt;
      }
    } else if (!haveTrace && !argument.starts_with("-")) {
      arguments.trace = argument;
      haveTrace = true;
    } else {
      std::cerr << "trevalo-analyze: unexpected argument " << argument << "\n" << kUsage;
      return std::nullopt;
    }
  }
  if (!haveTrace) {
    std::cerr << kUsage;
    return std::nullopt;
  }
  return arguments;
}

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

int run(const Arguments& arguments) {
  std::ifstream in(arguments.trace);
  if (!in) {
    std::cerr << "trevalo-analyze: cannot read " << arguments.trace << "\n";
    return kInputError;
  }
  const auto fail = [&](std::size_t lineNumber, const std::string& message) {
    std::cout.flush();
    std::cerr << "trevalo-analyze: " << arguments.trace << ":" << lineNumber << ": " << message
              << "\n";
    return kInputError;
  };

  const ScratchDirectory documents;
  std::optional<TraceReplay> replay;
  std::string line;
  std::size_t lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (isBlank(line)) continue;
    TraceEvent event;
    try {
      event = trevalo::tools::parseTraceEvent(line);
    } catch (const TraceError& error) {
      return fail(lineNumber, error.what());
    }
    if (!replay) {
      replay.emplace(std::cout, documents.path(), Date(event.t));
    } else if (Date(event.t) < replay->now()) {
      return fail(lineNumber, "\"t\" goes back in time (" + std::to_string(event.t) + " after " +
                                  std::to_string(replay->now().timeIntervalSince1970()) + ")");
    }
    replay->apply(event);
  }
  if (in.bad()) return fail(lineNumber + 1, "read error");
  if (replay) {
    const Date end = arguments.until ? Date(*arguments.until) : replay->now();
    replay->finish(end);
  }
  std::cout.flush();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto arguments = parseArguments(argc, argv);
  if (!arguments) return kInputError;
  try {
    return run(*arguments);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "trevalo-analyze: " << error.what() << "\n";
    return kReplayFailure;
  }
}
