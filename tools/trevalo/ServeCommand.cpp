// trevalo serve [--host H] [--port P] [--venues FILE.geojson] [--db FILE.sqlite] [--token T]
//
// The reference service over HTTP, so an application in another process (or on another
// machine, with --host) points its hosts at it: every endpoint the SDK calls and the common
// reverse-geocoding form /reverse?format=jsonv2&lat=&lon=. Prints "listening on URL" on
// standard output once it accepts connections (with --port 0, the port the system picked),
// then one line per request on standard error. SIGINT or SIGTERM stops it: the requests in
// progress finish, and the database is closed intact.
//
// Exit status: 0 after a signal; 2 for a venue file or a database that cannot be used; 1 when
// the address cannot be bound.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "Commands.h"
#include "service/ReferenceService.h"
#include "service/ServiceHttpServer.h"
#include "service/ServiceStore.h"
#include "service/SqliteDatabase.h"
#include "service/VenueTable.h"
#include "trevalo/platform/Date.h"

namespace trevalo::tools {

namespace {

struct ServeSettings {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string venues;
  std::string database;
  std::string token;
};

std::optional<service::VenueTable> readVenues(const std::string& path) {
  if (path.empty()) return service::VenueTable{};
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "trevalo serve: cannot read " << path << "\n";
    return std::nullopt;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  try {
    return service::VenueTable::fromGeoJson(text);
  } catch (const service::VenueTableError& error) {
    std::cerr << "trevalo serve: " << path << ": " << error.what() << "\n";
    return std::nullopt;
  }
}

// Waits for SIGINT or SIGTERM. They are blocked in every thread (the server's threads inherit
// the mask from this one), so they arrive here and nowhere else.
int awaitStopSignal(const sigset_t& stopSignals) {
  int signal = 0;
  while (::sigwait(&stopSignals, &signal) != 0) {
  }
  return signal;
}

int serve(const ServeSettings& settings) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A client that goes away while its answer is written must not end the server.
  ::signal(SIGPIPE, SIG_IGN);

  auto venues = readVenues(settings.venues);
  if (!venues) return kBadInput;
  std::shared_ptr<service::ServiceStore> store;
  try {
    store = std::make_shared<service::ServiceStore>(settings.database.empty() ? ":memory:"
                                                                              : settings.database);
  } catch (const service::SqliteError& error) {
    std::cerr << "trevalo serve: " << settings.database << ": " << error.what() << "\n";
    return kBadInput;
  }
  auto referenceService = std::make_shared<service::ReferenceService>(std::move(*venues), store,
                                                                      [] { return Date::now(); });

  service::ServiceHttpServer::Options options;
  options.host = settings.host;
  options.port = settings.port;
  if (!settings.token.empty()) options.token = settings.token;
  options.log = [](const std::string& line) { std::cerr << line << std::endl; };
  std::optional<service::ServiceHttpServer> server;
  try {
    server.emplace(referenceService, options);
  } catch (const std::runtime_error& error) {
    std::cerr << "trevalo serve: " << error.what() << "\n";
    return kFailed;
  }
  server->start();
  std::cout << "listening on " << server->url() << " with "
            << referenceService->venues().venues().size() << " venues" << std::endl;

  const int signal = awaitStopSignal(stopSignals);
  server->stop();
  std::cerr << "trevalo serve: stopped by " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
            << std::endl;
  return kDone;
}

}  // namespace

void addServeCommand(CLI::App& app, int& status) {
  auto* command =
      app.add_subcommand("serve",
                         "Run the reference service over HTTP: every endpoint the SDK calls and "
                         "/reverse?format=jsonv2&lat=&lon=, until SIGINT or SIGTERM");
  auto settings = std::make_shared<ServeSettings>();
  command->add_option("--host", settings->host, "the address to listen on")->capture_default_str();
  command->add_option("--port", settings->port, "the port; 0 picks a free one and prints it")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  command->add_option("--venues", settings->venues,
                      "the venues, a GeoJSON FeatureCollection of Point and Polygon features");
  command->add_option("--db", settings->database,
                      "the SQLite store, created when missing; in memory without it");
  command->add_option("--token", settings->token,
                      "the only api_token accepted; any non-empty one without it");
  command->callback([&status, settings] {
    status = reportingFailure("serve", [&] { return serve(*settings); });
  });
}

}  // namespace trevalo::tools
