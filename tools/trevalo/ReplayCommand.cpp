// trevalo replay TRACE [--venues FILE.geojson] [--db FILE.sqlite] [--events OUT.jsonl]
//                      [--report OUT.html] [--options JSON] [--service URL --token T]
//
// Runs a recorded trace (GPX, NMEA or the JSON Lines trace, told apart by content) through the
// whole SDK in virtual time: the facade started with a token and the options on a replayed
// device, its requests answered by the embedded reference service (venues from --venues, its
// SQLite store at --db or in a temporary file) or, with --service, by a real service over the
// network. Prints a summary; --events writes one JSON line per event, --report an HTML page.
//
// Exit status: 0 on success; 2 for input that cannot be used (the trace, with its line number;
// the venues; the options; the command line); 1 when the replay or an output fails.
#include <CLI/CLI.hpp>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "Commands.h"
#include "ReplayRun.h"
#include "simulation/TraceReadError.h"

namespace trevalo::tools {

namespace {

struct Arguments {
  std::string trace;
  std::optional<std::string> venues;
  std::optional<std::string> database;
  std::optional<std::string> events;
  std::optional<std::string> report;
  std::optional<std::string> options;
  std::optional<std::string> service;
  std::optional<std::string> token;
};

int replay(const Arguments& arguments) {
  ReplayRun::Settings settings;
  settings.tracePath = arguments.trace;
  settings.venuesPath = arguments.venues;
  settings.databasePath = arguments.database;
  settings.serviceUrl = arguments.service;
  if (arguments.token) settings.token = *arguments.token;
  try {
    if (arguments.options) settings.options = ReplayRun::parseOptions(*arguments.options);
    ReplayRun run(settings);
    run.play();
    std::cout << run.summary().text();
    if (!run.databasePath().empty()) {
      std::cout << "\nService database: " << run.databasePath().string() << "\n";
    }
    std::cout.flush();
    bool written = true;
    if (arguments.events) written = run.writeEvents(*arguments.events) && written;
    if (arguments.report) written = run.writeReport(*arguments.report) && written;
    return written ? kDone : kFailed;
  } catch (const simulation::TraceReadError& error) {
    std::cerr << "trevalo replay: " << arguments.trace << ":" << error.line() << ": "
              << error.reason() << "\n";
    return kBadInput;
  } catch (const ReplayInputError& error) {
    std::cerr << "trevalo replay: " << error.what() << "\n";
    return kBadInput;
  }
}

}  // namespace

void addReplayCommand(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "replay",
      "Run a recorded trace (GPX, NMEA or JSON Lines) through the whole SDK in virtual time, "
      "against the embedded reference service or a real one, and print what the application "
      "would have seen: visits, time per mode, fixes, accuracy and energy");
  auto arguments = std::make_shared<Arguments>();
  command->add_option("TRACE", arguments->trace, "the recorded trace")->required();
  command->add_option("--venues", arguments->venues,
                      "the embedded service's venues, a GeoJSON FeatureCollection");
  command->add_option("--db", arguments->database,
                      "the embedded service's SQLite store (kept); a temporary one otherwise");
  command->add_option("--events", arguments->events,
                      "write one JSON line per callback, strategy, mode change and fix here");
  command->add_option("--report", arguments->report, "write a self-contained HTML report here");
  command->add_option("--options", arguments->options,
                      "the SDK's start options as a JSON object, e.g. '{\"_DEBUG_MODE\": 6}'");
  auto* service =
      command->add_option("--service", arguments->service,
                          "talk to the service at this http(s) URL instead of the embedded one");
  auto* token =
      command->add_option("--token", arguments->token, "the API token (required with --service)");
  service->needs(token);
  command->callback([&status, arguments] {
    status = reportingFailure("replay", [&] { return replay(*arguments); });
  });
}

}  // namespace trevalo::tools
