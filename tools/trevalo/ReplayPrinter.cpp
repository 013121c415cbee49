#include "ReplayPrinter.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace trevalo::tools {

ReplayPrinter::ReplayPrinter(std::ostream& out) : out_(out) {}

void ReplayPrinter::attach(std::weak_ptr<const TRLocationAnalyzer> analyzer) {
  analyzer_ = std::move(analyzer);
}

void ReplayPrinter::setCurrentSample(std::shared_ptr<const TRVellLocation> sample) {
  currentSample_ = std::move(sample);
}

Json ReplayPrinter::line(const char* event) const {
  Json json = Json::object();
  json["t"] = Date::now().timeIntervalSince1970();
  json["event"] = event;
  return json;
}

void ReplayPrinter::print(const Json& json) {
  out_ << json.dump() << '\n';
}

void ReplayPrinter::didDetectedModeChange() {
  Json json = line("mode");
  const auto analyzer = analyzer_.lock();
  json["to"] = analyzer ? Json(static_cast<std::int32_t>(analyzer->currentMode())) : Json(nullptr);
  print(json);
}

void ReplayPrinter::onDeterminedFilteredTRLocation(const Location& location) {
  Json json = line("location");
  json["lat"] = location.coordinate().latitude;
  json["lng"] = location.coordinate().longitude;
  // The analyzer scores a sample only once its history holds more than the warm-up samples.
  const auto analyzer = analyzer_.lock();
  const bool scored =
      currentSample_ && analyzer &&
      analyzer->locationAnalyzerContext()->locations.size() > TRLocationAnalyzer::kWarmUpSamples;
  json["indoor"] = scored ? Json(currentSample_->isIndoor) : Json(nullptr);
  json["score"] = scored ? Json(currentSample_->indoorScore) : Json(nullptr);
  print(json);
}

void ReplayPrinter::onConfirmedDepartedVenueWithEndDate(Date endDate) {
  Json json = line("departed");
  json["end"] = endDate.timeIntervalSince1970();
  print(json);
}

std::shared_ptr<MetaOperationBase> ReplayPrinter::sendCollectedPoints(
    const std::vector<std::shared_ptr<TRVellLocation>>& points) {
  Json json = line("sendCollectedPoints");
  json["count"] = points.size();
  const auto timeOf = [](const std::shared_ptr<TRVellLocation>& point) {
    return point ? Json(point->timestamp().timeIntervalSince1970()) : Json(nullptr);
  };
  json["first_t"] = points.empty() ? Json(nullptr) : timeOf(points.front());
  json["last_t"] = points.empty() ? Json(nullptr) : timeOf(points.back());
  print(json);
  return nullptr;
}

void ReplayPrinter::reverseGeocode(const std::shared_ptr<TRVellLocation>& location) {
  Json json = line("reverseGeocode");
  json["lat"] = location ? Json(location->location.coordinate().latitude) : Json(nullptr);
  json["lng"] = location ? Json(location->location.coordinate().longitude) : Json(nullptr);
  print(json);
}

void ReplayPrinter::enteredRegion(const std::shared_ptr<TRGeofence>& geofence) {
  Json json = line("enteredRegion");
  json["lat"] = geofence->center.latitude;
  json["lng"] = geofence->center.longitude;
  print(json);
}

void ReplayPrinter::exitedRegion(const std::shared_ptr<TRGeofence>& geofence) {
  Json json = line("exitedRegion");
  json["lat"] = geofence->center.latitude;
  json["lng"] = geofence->center.longitude;
  print(json);
}

}  // namespace trevalo::tools
