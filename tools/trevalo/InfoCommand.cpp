// trevalo info TRACE: reads a trace in any format and tells what it holds: the format, the
// time span, how many records of each kind, and what the reader skipped or mended. Exit
// status 2 (with the line) for a trace that cannot be read.
#include <CLI/CLI.hpp>
#include <iostream>

#include "Commands.h"
#include "simulation/TimeText.h"
#include "simulation/TraceReadError.h"
#include "simulation/TraceReader.h"

namespace trevalo::tools {

namespace {

int info(const std::string& path) {
  simulation::Trace trace;
  try {
    trace = simulation::TraceReader::readFile(path);
  } catch (const simulation::TraceReadError& error) {
    std::cerr << "trevalo info: " << path << ":" << error.line() << ": " << error.reason() << "\n";
    return kBadInput;
  }
  using simulation::TimeText;
  std::cout << path << ": " << simulation::traceFormatName(trace.format) << "\n";
  if (const auto start = trace.start()) {
    const auto end = *trace.end();
    std::cout << "  from " << TimeText::iso8601(*start) << " to " << TimeText::iso8601(end) << " ("
              << TimeText::duration(end.timeIntervalSinceDate(*start)) << ")\n";
  }
  std::cout << "  fixes " << trace.fixes.size() << ", accelerometer samples "
            << trace.accelerometer.size() << ", headings " << trace.headings.size()
            << ", Wi-Fi changes " << trace.wifi.size() << ", activity reports "
            << trace.activities.size() << ", region crossings " << trace.regions.size() << "\n";
  const auto& notes = trace.notes;
  std::cout << "  broken " << notes.broken << ", ignored " << notes.ignored << ", without a fix "
            << notes.withoutFix << ", duplicate times " << notes.duplicates << ", reordered "
            << notes.reordered << "\n";
  for (const auto& warning : notes.warnings)
    std::cout << "  " << warning << "\n";
  return kDone;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "info",
      "Read a trace (GPX, NMEA 0183 or JSON Lines, told apart by content) and tell what "
      "it holds and what the reader skipped");
  auto file = std::make_shared<std::string>();
  command->add_option("TRACE", *file, "the trace")->required();
  command->callback(
      [&status, file] { status = reportingFailure("info", [&] { return info(*file); }); });
}

}  // namespace trevalo::tools
