#include "ReplayRun.h"

#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "service/ReferenceService.h"
#include "service/ServiceResponder.h"
#include "service/ServiceStore.h"
#include "service/VenueTable.h"
#include "simulation/HtmlReport.h"
#include "simulation/TraceReader.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"

namespace trevalo::tools {

namespace {

std::string readText(const std::filesystem::path& path, const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ReplayInputError(std::string("cannot read the ") + what + " " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad())
    throw ReplayInputError(std::string("cannot read the ") + what + " " + path.string());
  return text.str();
}

// The same base URL for every server the SDK talks to.
TRNetworkClient::Hosts hostsAt(std::string url) {
  while (!url.empty() && url.back() == '/')
    url.pop_back();
  return {url, url, url, url};
}

}  // namespace

TROptions ReplayRun::parseOptions(const std::string& json) {
  const Json parsed = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    throw ReplayInputError("--options must be a JSON object, e.g. '{\"_DEBUG_MODE\": 6}'");
  }
  return TROptions::withJson(parsed);
}

ReplayRun::ReplayRun(const Settings& settings) {
  traceName_ = settings.tracePath.filename().string();
  trace_ = std::make_shared<const simulation::Trace>(
      simulation::TraceReader::readFile(settings.tracePath));
  if (trace_->empty()) {
    throw ReplayInputError("the trace " + settings.tracePath.string() + " holds no records");
  }
  std::filesystem::create_directories(scratch_.path() / "documents");

  simulation::SdkReplay::Options options;
  options.documentsDirectory = scratch_.path() / "documents";
  options.token = settings.token;
  options.options = settings.options;
  if (settings.serviceUrl) {
    try {
      options.hosts = hostsAt(*settings.serviceUrl);
      // Checked here rather than when the SDK first sends.
      TRNetworkClient check(options.hosts);
    } catch (const std::exception&) {
      throw ReplayInputError("--service must be an http or https URL with a host, not \"" +
                             *settings.serviceUrl + "\"");
    }
    transport_ = std::make_shared<platform::CurlHttpTransport>();
    options.transport = transport_;
    options.requestsInFlight = [transport = transport_] { return transport->pendingCount(); };
  } else {
    service::VenueTable venues;
    if (settings.venuesPath) {
      try {
        venues = service::VenueTable::fromGeoJson(readText(*settings.venuesPath, "venues"));
      } catch (const service::VenueTableError& error) {
        throw ReplayInputError(settings.venuesPath->string() + ": " + error.what());
      }
    }
    databasePath_ = settings.databasePath.value_or(scratch_.path() / "service.sqlite");
    auto store = std::make_shared<service::ServiceStore>(databasePath_.string());
    service_ = std::make_shared<service::ReferenceService>(std::move(venues), std::move(store), [] {
      return platform::Platform::current().clock().now();
    });
    options.responder = service::ServiceResponder::make(service_);
  }
  replay_.emplace(trace_, std::move(options));
}

ReplayRun::~ReplayRun() {
  replay_.reset();
  // Anything still in flight completes (cancelled) before the platform it reports to is gone.
  if (transport_) transport_->shutdown();
}

void ReplayRun::play() {
  replay_->play();
  summary_.reset();
}

const simulation::RunSummary& ReplayRun::summary() {
  if (!summary_) summary_ = simulation::RunSummary::make(*trace_, replay_->recordedRun());
  return *summary_;
}

bool ReplayRun::writeEvents(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  replay_->recordedRun().writeJsonLines(out);
  out.close();
  if (!out) std::cerr << "trevalo replay: cannot write " << path.string() << "\n";
  return static_cast<bool>(out);
}

bool ReplayRun::writeReport(const std::filesystem::path& path) {
  simulation::HtmlReport::Options options;
  options.title = "Trevalo replay of " + traceName_;
  const std::string page =
      simulation::HtmlReport::render(*trace_, replay_->recordedRun(), summary(), options);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << page;
  out.close();
  if (!out) std::cerr << "trevalo replay: cannot write " << path.string() << "\n";
  return static_cast<bool>(out);
}

}  // namespace trevalo::tools
