#include "CrashService.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

namespace trevalo::crash {

namespace {

using platform::SimulatedHttpTransport;

std::string pathOf(const std::string& url) {
  const auto scheme = url.find("://");
  const auto slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (slash == std::string::npos) return "/";
  const auto query = url.find('?', slash);
  return url.substr(slash, query == std::string::npos ? std::string::npos : query - slash);
}

Json bodyOf(const platform::HttpRequest& request) {
  if (!request.body) return Json();
  return Json::parse(request.body->begin(), request.body->end(), nullptr, false);
}

SimulatedHttpTransport::Answer ok(const Json& body) {
  return SimulatedHttpTransport::response(200, body.dump());
}

}  // namespace

CrashService::CrashService(const std::filesystem::path& journal, Date outageStart)
    : outageStart_(outageStart) {
  for (const auto& line : CrashJournal::read(journal)) {
    std::istringstream words(line);
    std::string outcome, key;
    words >> outcome >> key;
    ++attempts_[key];
  }
  journal_ = std::make_unique<CrashJournal>(journal);
}

std::string CrashService::stayKey(double latitude) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", latitude);
  return text;
}

std::string CrashService::visitKey(const Json& logBody) {
  return logBody.value("address_id", std::string()) + "|" + logBody.value("venue_id", "") + "|" +
         std::to_string(logBody.value("start_time", std::uint64_t{0}));
}

int CrashService::placeNumber(double latitude) {
  return static_cast<int>(std::lround(latitude * 100.0));
}

bool CrashService::inOutage() const {
  const double hours = Date::now().timeIntervalSinceDate(outageStart_) / 3600.0;
  return hours >= 0.0 && hours < 24.0 && static_cast<int>(hours) % 8 >= 5;
}

bool CrashService::failsNow(const std::string& key) {
  if (inOutage()) {
    ++attempts_[key];
    return true;
  }
  const int attempt = attempts_[key]++;
  return static_cast<std::size_t>(attempt) < std::hash<std::string>{}(key) % 3;
}

std::optional<SimulatedHttpTransport::Answer> CrashService::answer(
    const platform::HttpRequest& request) {
  const std::string path = pathOf(request.url);
  const Json body = bodyOf(request);
  if (path == "/v1/geocode/reverse_geocode" && body.contains("points")) {
    const double latitude = body["points"].back().value("latitude", 0.0);
    const std::string key = stayKey(latitude);
    if (failsNow(key)) {
      journal_->append("locate-fail " + key);
      return SimulatedHttpTransport::response(500);
    }
    journal_->append("locate-ok " + key);
    const std::string place = std::to_string(placeNumber(latitude));
    return ok({{"address", {{"id", "A" + place}, {"country", "United States"}}},
               {"venue", {{"id", "V" + place}, {"name", "Venue " + place}}}});
  }
  if (path == "/v1/logging/visit") {
    const std::string key = visitKey(body);
    if (failsNow(key)) {
      journal_->append("log-fail " + key);
      return SimulatedHttpTransport::response(500);
    }
    journal_->append("log-ok " + key + " " + body.dump());
    return ok(Json::object());
  }
  if (path == "/v1/venues/geofences") {
    const double latitude = body.value("lat", 0.0);
    const double longitude = body.value("lng", 0.0);
    Json geofences = Json::array();
    for (int i = 0; i < 3; ++i) {
      geofences.push_back(
          {{"id", "G" + std::to_string(i)},
           {"name", "Geofence " + std::to_string(i)},
           {"address",
            {{"location", {{"latitude", latitude + i * 0.001}, {"longitude", longitude}}}}}});
    }
    return ok(geofences);
  }
  return ok(Json::object());
}

}  // namespace trevalo::crash
