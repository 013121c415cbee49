#include "simulation/RunEvent.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "utils/TRUtils.h"

namespace trevalo::simulation {

namespace {

using Kind = RunEvent::Kind;

constexpr Kind kKinds[] = {Kind::kMode,         Kind::kStrategy,      Kind::kFix,
                           Kind::kLocation,     Kind::kVisitStart,    Kind::kVisitEnd,
                           Kind::kActivity,     Kind::kGeofenceEnter, Kind::kGeofenceExit,
                           Kind::kRegionChange, Kind::kError};

Kind kindNamed(const std::string& name) {
  for (const Kind kind : kKinds) {
    if (name == RunEvent::name(kind)) return kind;
  }
  throw RunEventError("unknown \"event\" \"" + name + "\"");
}

const Json& member(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) throw RunEventError(std::string("missing \"") + key + "\"");
  return *found;
}

double number(const Json& object, const char* key) {
  const Json& value = member(object, key);
  if (!value.is_number() || !std::isfinite(value.get<double>())) {
    throw RunEventError(std::string("\"") + key + "\" must be a finite number");
  }
  return value.get<double>();
}

std::optional<double> optionalNumber(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return std::nullopt;
  return number(object, key);
}

std::string textOf(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return {};
  if (!found->is_string()) throw RunEventError(std::string("\"") + key + "\" must be a string");
  return found->get<std::string>();
}

bool flag(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) return false;
  if (!found->is_boolean()) throw RunEventError(std::string("\"") + key + "\" must be a Boolean");
  return found->get<bool>();
}

Json locationJson(const Location& location) {
  return {{"lat", location.coordinate().latitude},
          {"lng", location.coordinate().longitude},
          {"acc", location.horizontalAccuracy()},
          {"speed", location.speed()},
          {"course", location.course()},
          {"time", location.timestamp().timeIntervalSince1970()}};
}

Location locationFrom(const Json& object) {
  return Location({number(object, "lat"), number(object, "lng")}, 0.0, number(object, "acc"), -1.0,
                  optionalNumber(object, "course").value_or(-1.0),
                  optionalNumber(object, "speed").value_or(-1.0),
                  Date(optionalNumber(object, "time").value_or(number(object, "t"))));
}

Json regionJson(const MonitoredRegion& region) {
  return {{"id", region.identifier},
          {"lat", region.center.latitude},
          {"lng", region.center.longitude},
          {"radius", region.radius}};
}

MonitoredRegion regionFrom(const Json& object) {
  if (!object.is_object()) throw RunEventError("a region must be an object");
  return {textOf(object, "id"),
          {number(object, "lat"), number(object, "lng")},
          number(object, "radius")};
}

Json visitJson(const VisitRecord& visit) {
  Json json = Json::object();
  json["place"] = visit.placeName();
  json["venue_id"] = visit.venueId;
  json["address_id"] = visit.addressId;
  json["category"] = visit.category;
  json["arrival"] = visit.arrival ? Json(visit.arrival->timeIntervalSince1970()) : Json(nullptr);
  json["departure"] =
      visit.departure ? Json(visit.departure->timeIntervalSince1970()) : Json(nullptr);
  if (visit.coordinate) {
    json["lat"] = visit.coordinate->latitude;
    json["lng"] = visit.coordinate->longitude;
  }
  json["name"] = visit.venueName;
  return json;
}

VisitRecord visitFrom(const Json& object) {
  VisitRecord visit;
  visit.venueName = textOf(object, "name");
  visit.venueId = textOf(object, "venue_id");
  visit.addressId = textOf(object, "address_id");
  visit.category = textOf(object, "category");
  if (const auto arrival = optionalNumber(object, "arrival")) visit.arrival = Date(*arrival);
  if (const auto departure = optionalNumber(object, "departure")) {
    visit.departure = Date(*departure);
  }
  const auto latitude = optionalNumber(object, "lat");
  const auto longitude = optionalNumber(object, "lng");
  if (latitude && longitude) visit.coordinate = Coordinate{*latitude, *longitude};
  return visit;
}

}  // namespace

std::string VisitRecord::placeName() const {
  if (!venueName.empty()) return venueName;
  if (!venueId.empty()) return venueId;
  if (!addressId.empty()) return addressId;
  return "unknown place";
}

const char* RunEvent::name(Kind kind) noexcept {
  switch (kind) {
    case Kind::kMode:
      return "mode";
    case Kind::kStrategy:
      return "strategy";
    case Kind::kFix:
      return "fix";
    case Kind::kLocation:
      return "didUpdateLocation";
    case Kind::kVisitStart:
      return "didStartVisit";
    case Kind::kVisitEnd:
      return "didEndVisit";
    case Kind::kActivity:
      return "willChangeActivityMode";
    case Kind::kGeofenceEnter:
      return "didEnterRegion";
    case Kind::kGeofenceExit:
      return "didExitRegion";
    case Kind::kRegionChange:
      return "changeRegion";
    case Kind::kError:
      return "didFailWithError";
  }
  return "unknown";
}

Json RunEvent::toJson() const {
  Json json = Json::object();
  json["t"] = time.timeIntervalSince1970();
  json["event"] = name(kind);
  switch (kind) {
    case Kind::kMode:
      json["mode"] = static_cast<std::int32_t>(mode);
      json["name"] = TRUtils::strForMode(mode);
      break;
    case Kind::kStrategy: {
      json["strategy"] = static_cast<std::int32_t>(strategy);
      json["name"] = TRUtils::strForStrategy(strategy);
      json["updating"] = service.updating;
      json["accuracy"] = service.desiredAccuracy;
      json["distance_filter"] = service.distanceFilter;
      json["headings"] = service.headings;
      json["significant_changes"] = service.significantChanges;
      Json regions = Json::array();
      for (const MonitoredRegion& region : service.regions)
        regions.push_back(regionJson(region));
      json["regions"] = std::move(regions);
      break;
    }
    case Kind::kFix:
    case Kind::kLocation:
      if (location) json.update(locationJson(*location));
      break;
    case Kind::kVisitStart:
    case Kind::kVisitEnd:
      json["visit"] = visitJson(visit);
      break;
    case Kind::kActivity:
      json["activity"] = activity;
      break;
    case Kind::kGeofenceEnter:
    case Kind::kGeofenceExit:
      json["venue"] = visitJson(visit);
      if (geofence) json["region"] = regionJson(*geofence);
      break;
    case Kind::kRegionChange:
    case Kind::kError:
      json["text"] = text;
      break;
  }
  return json;
}

RunEvent RunEvent::fromJson(const Json& json) {
  if (!json.is_object()) throw RunEventError("not a JSON object");
  RunEvent event;
  event.time = Date(number(json, "t"));
  const Json& kindName = member(json, "event");
  if (!kindName.is_string()) throw RunEventError("\"event\" must be a string");
  event.kind = kindNamed(kindName.get<std::string>());
  switch (event.kind) {
    case Kind::kMode:
      event.mode = static_cast<TRMode>(static_cast<std::int32_t>(number(json, "mode")));
      break;
    case Kind::kStrategy: {
      event.strategy =
          static_cast<StrategyType>(static_cast<std::int32_t>(number(json, "strategy")));
      event.service.updating = flag(json, "updating");
      event.service.desiredAccuracy = optionalNumber(json, "accuracy").value_or(0.0);
      event.service.distanceFilter = optionalNumber(json, "distance_filter").value_or(0.0);
      event.service.headings = flag(json, "headings");
      event.service.significantChanges = flag(json, "significant_changes");
      if (const auto regions = json.find("regions"); regions != json.end()) {
        if (!regions->is_array()) throw RunEventError("\"regions\" must be an array");
        for (const Json& region : *regions)
          event.service.regions.push_back(regionFrom(region));
      }
      break;
    }
    case Kind::kFix:
    case Kind::kLocation:
      event.location = locationFrom(json);
      break;
    case Kind::kVisitStart:
    case Kind::kVisitEnd: {
      const Json& visit = member(json, "visit");
      if (!visit.is_object()) throw RunEventError("\"visit\" must be an object");
      event.visit = visitFrom(visit);
      break;
    }
    case Kind::kActivity: {
      const Json& value = member(json, "activity");
      if (!value.is_number_unsigned()) {
        throw RunEventError("\"activity\" must be a non-negative integer");
      }
      event.activity = value.get<std::uint64_t>();
      break;
    }
    case Kind::kGeofenceEnter:
    case Kind::kGeofenceExit:
      if (const auto venue = json.find("venue"); venue != json.end() && venue->is_object()) {
        event.visit = visitFrom(*venue);
      }
      if (const auto region = json.find("region"); region != json.end()) {
        event.geofence = regionFrom(*region);
      }
      break;
    case Kind::kRegionChange:
    case Kind::kError:
      event.text = textOf(json, "text");
      break;
  }
  return event;
}

}  // namespace trevalo::simulation
