// The endpoint handlers of the reference service.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "service/ReferenceService.h"
#include "trevalo/platform/Location.h"

namespace trevalo::service {

namespace {

constexpr double kDay = 86400.0;

std::optional<double> parseNumber(const std::string& text) {
  double value = 0.0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, failure] = std::from_chars(first, last, value);
  if (failure != std::errc() || end != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

double queryNumber(const RequestTarget& target, const char* name, double low, double high) {
  const auto text = target.query(name);
  if (!text) throw BadRequest(std::string("missing \"") + name + "\"");
  const auto value = parseNumber(*text);
  if (!value || *value < low || *value > high) {
    throw BadRequest(std::string("\"") + name + "\" must be a number within [" +
                     std::to_string(low) + ", " + std::to_string(high) + "]");
  }
  return *value;
}

std::string queryText(const RequestTarget& target, const char* name) {
  const auto text = target.query(name);
  if (!text || text->empty()) throw BadRequest(std::string("missing \"") + name + "\"");
  return *text;
}

double bodyNumber(const Json& body, const char* key, double low, double high) {
  const auto found = body.find(key);
  if (found == body.end() || !found->is_number()) {
    throw BadRequest(std::string("\"") + key + "\" must be a number");
  }
  const double value = found->get<double>();
  if (!std::isfinite(value) || value < low || value > high) {
    throw BadRequest(std::string("\"") + key + "\" is out of range");
  }
  return value;
}

std::string bodyText(const Json& body, const char* key) {
  const auto found = body.find(key);
  if (found == body.end() || found->is_null()) return {};
  if (!found->is_string()) throw BadRequest(std::string("\"") + key + "\" must be a string");
  return found->get<std::string>();
}

std::int64_t bodyMilliseconds(const Json& body, const char* key) {
  const auto found = body.find(key);
  if (found == body.end() || !found->is_number_integer() || found->get<std::int64_t>() < 0) {
    throw BadRequest(std::string("\"") + key + "\" must be a non-negative integer");
  }
  return found->get<std::int64_t>();
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A venue filter: every field it sets must match.
struct Filter {
  std::string category, name, addressId;

  bool accepts(const Venue& venue) const {
    if (!category.empty() && lower(category) != lower(venue.category) &&
        lower(category) != lower(venue.subcategory)) {
      return false;
    }
    if (!name.empty() && lower(name) != lower(venue.name)) return false;
    return addressId.empty() || addressId == venue.addressId;
  }
};

std::vector<Filter> filtersOf(const Json& body) {
  std::vector<Filter> filters;
  const auto found = body.find("filter");
  if (found == body.end() || found->is_null()) return filters;
  if (!found->is_array()) throw BadRequest("\"filter\" must be an array");
  for (const Json& filter : *found) {
    if (!filter.is_object()) throw BadRequest("each filter must be an object");
    filters.push_back({bodyText(filter, "venue_category"), bodyText(filter, "venue_name"),
                       bodyText(filter, "address_id")});
  }
  return filters;
}

std::function<bool(const Venue&)> acceptor(const std::vector<Filter>& filters) {
  if (filters.empty()) return {};
  return [filters](const Venue& venue) {
    return std::any_of(filters.begin(), filters.end(),
                       [&](const Filter& filter) { return filter.accepts(venue); });
  };
}

struct Point {
  Coordinate coordinate;
  double weight;
};

// The centre of a stay: the accuracy-weighted mean of its points, again without the points
// far from the first mean (a fix that jumped across the street).
Coordinate centreOf(const std::vector<Point>& points) {
  const auto mean = [&](const auto& keep) {
    double latitude = 0.0, longitude = 0.0, total = 0.0;
    for (const Point& point : points) {
      if (!keep(point)) continue;
      latitude += point.weight * point.coordinate.latitude;
      longitude += point.weight * point.coordinate.longitude;
      total += point.weight;
    }
    return Coordinate{latitude / total, longitude / total};
  };
  const Coordinate first = mean([](const Point&) { return true; });
  std::vector<double> distances;
  for (const Point& point : points) {
    distances.push_back(Location(first).distanceFromLocation(Location(point.coordinate)));
  }
  std::vector<double> sorted = distances;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                   sorted.end());
  const double limit = std::max(50.0, 3.0 * sorted[sorted.size() / 2]);
  std::size_t index = 0;
  return mean([&](const Point&) { return distances[index++] <= limit; });
}

// The venue a device logged a visit at, or its place from the log.
struct PlaceKey {
  std::string venueId, addressId;
  auto operator<=>(const PlaceKey&) const = default;
};

// Seconds of [start, end) inside the daily window [from, to) hours of local time; `weekdays`
// keeps only Monday to Friday.
double overlap(double start, double end, double offset, double from, double to, bool weekdays) {
  double seconds = 0.0;
  for (double day = std::floor((start + offset) / kDay) - 1; day * kDay <= end + offset; ++day) {
    // 1970-01-01 was a Thursday: day 0 has weekday 4 counting from Sunday.
    const auto weekday = static_cast<long long>(std::fmod(std::fmod(day + 4, 7) + 7, 7));
    if (weekdays && (weekday == 0 || weekday == 6)) continue;
    const double windowStart = day * kDay + from * 3600.0 - offset;
    const double windowEnd = day * kDay + to * 3600.0 - offset;
    seconds += std::max(0.0, std::min(end, windowEnd) - std::max(start, windowStart));
  }
  return seconds;
}

}  // namespace

Json ReferenceService::placeJson(const VenueTable::Match& match,
                                 const std::vector<VenueTable::Match>& alternatives) const {
  const Venue& venue = *match.venue;
  Json place = Json::object();
  place["geometry"] = {{"id", "g-" + venue.id},
                       {"class", venue.outline.empty() ? "point" : "building"},
                       {"type", "Feature"},
                       {"inside", match.inside},
                       {"dist", static_cast<std::uint64_t>(std::llround(match.distance))},
                       {"geometry", venue.geometryJson()}};
  place["address"] = venue.addressJson();
  place["venue"] = venue.venueJson();
  place["events"] = Json::array();
  Json others = Json::array();
  for (const auto& alternative : alternatives) {
    if (alternative.venue != match.venue) others.push_back(placeJson(alternative, {}));
  }
  place["alternatives"] = std::move(others);
  return place;
}

Json ReferenceService::reverseGeocodePoint(const RequestTarget& target) const {
  const Coordinate point{queryNumber(target, "lat", -90, 90),
                         queryNumber(target, "lng", -180, 180)};
  const auto matches = venues_.nearest(point, kMatchRadius, kAlternatives + 1);
  if (matches.empty()) return Json::object();
  return placeJson(matches.front(), matches);
}

Json ReferenceService::reverseGeocodePoints(const Json& body) const {
  const auto points = body.find("points");
  if (points == body.end() || !points->is_array() || points->empty()) {
    throw BadRequest("\"points\" must be a non-empty array");
  }
  std::vector<Point> usable;
  for (const Json& point : *points) {
    if (!point.is_object()) throw BadRequest("each point must be an object");
    const Coordinate coordinate{bodyNumber(point, "latitude", -90, 90),
                                bodyNumber(point, "longitude", -180, 180)};
    const auto accuracy = point.find("horizontalAccuracy");
    double metres = 10.0;
    if (accuracy != point.end()) {
      if (!accuracy->is_number()) throw BadRequest("\"horizontalAccuracy\" must be a number");
      metres = accuracy->get<double>();
    }
    if (!std::isfinite(metres) || metres < 0.0) continue;  // an invalid coordinate
    usable.push_back({coordinate, 1.0 / std::pow(std::max(metres, 5.0), 2.0)});
  }
  if (usable.empty()) throw BadRequest("no point has a valid coordinate");
  const auto filters = filtersOf(body);
  const auto matches =
      venues_.nearest(centreOf(usable), kMatchRadius, kAlternatives + 1, acceptor(filters));
  if (matches.empty()) return Json::object();
  return placeJson(matches.front(), matches);
}

Json ReferenceService::searchVenues(const RequestTarget& target) const {
  const Coordinate point{queryNumber(target, "lat", -90, 90),
                         queryNumber(target, "lng", -180, 180)};
  const double radius = target.query("radius") ? queryNumber(target, "radius", 0, 1e7) : 1000.0;
  const double limit = target.query("limit") ? queryNumber(target, "limit", 0, 1e9) : 1000.0;
  if (limit != std::floor(limit)) throw BadRequest("\"limit\" must be a whole number");
  const std::string query = lower(target.query("q").value_or(""));
  const Filter category{target.query("category").value_or(""), "", ""};
  const auto matches =
      venues_.nearest(point, radius, static_cast<std::size_t>(limit), [&](const Venue& venue) {
        return category.accepts(venue) && lower(venue.name).find(query) != std::string::npos;
      });
  Json results = Json::array();
  for (const auto& match : matches) {
    Json venue = match.venue->venueJson();
    venue["address"] = match.venue->addressJson();
    results.push_back(std::move(venue));
  }
  return results;
}

Json ReferenceService::peopleAtVenue(const std::string& venueId) const {
  if (!venues_.find(venueId)) throw BadRequest("no venue \"" + venueId + "\"");
  std::vector<std::string> devices;
  for (const LoggedVisit& visit : store_->visits()) {
    if (visit.venueId == venueId &&
        std::find(devices.begin(), devices.end(), visit.deviceId) == devices.end()) {
      devices.push_back(visit.deviceId);
    }
  }
  Json people = Json::array();
  for (const auto& device : devices)
    people.push_back({{"device_id", device}});
  return {{"people", std::move(people)}};
}

Json ReferenceService::peopleNearby(const RequestTarget& target) const {
  const Coordinate point{queryNumber(target, "lat", -90, 90),
                         queryNumber(target, "lng", -180, 180)};
  std::map<std::string, Coordinate> latest;
  for (const LoggedVisit& visit : store_->visits()) {
    latest[visit.deviceId] = {visit.latitude, visit.longitude};
  }
  Json people = Json::array();
  for (const auto& [device, where] : latest) {
    if (Location(where).distanceFromLocation(Location(point)) <= kNearbyRadius) {
      people.push_back({{"device_id", device}});
    }
  }
  return {{"people", std::move(people)}};
}

Json ReferenceService::priorVisits(const RequestTarget& target) const {
  const std::string device = queryText(target, "device_id");
  Json visits = Json::array();
  for (const LoggedVisit& visit : store_->visits(device)) {
    const Venue* venue = venues_.find(visit.venueId);
    Json entry = Json::object();
    entry["start_time"] = visit.startMilliseconds;
    entry["dwell_time"] = visit.endMilliseconds > visit.startMilliseconds
                              ? visit.endMilliseconds - visit.startMilliseconds
                              : 0;
    entry["venue"] = venue ? venue->venueJson() : Json{{"id", visit.venueId}};
    entry["address"] =
        venue ? venue->addressJson()
              : Json{{"id", visit.addressId},
                     {"location", {{"lat", visit.latitude}, {"lng", visit.longitude}}}};
    visits.push_back(std::move(entry));
  }
  return {{"visits", std::move(visits)}};
}

Json ReferenceService::homeWork(const RequestTarget& target) const {
  const std::string device = queryText(target, "device_id");
  // Local time from the longitude (an hour per 15 degrees), which is near enough to tell
  // night from working hours without a time-zone database.
  std::map<PlaceKey, std::pair<double, double>> scores;  // night seconds, working seconds
  std::map<PlaceKey, LoggedVisit> examples;
  const double now = clock_().timeIntervalSince1970();
  for (const LoggedVisit& visit : store_->visits(device)) {
    const double start = static_cast<double>(visit.startMilliseconds) / 1000.0;
    const double end = visit.endMilliseconds > 0
                           ? static_cast<double>(visit.endMilliseconds) / 1000.0
                           : std::max(start, now);
    const double offset = std::round(visit.longitude / 15.0) * 3600.0;
    const PlaceKey key{visit.venueId, visit.addressId};
    scores[key].first += overlap(start, end, offset, 22.0, 30.0, false);
    scores[key].second += overlap(start, end, offset, 9.0, 17.0, true);
    examples[key] = visit;
  }
  const auto best = [&](auto score, const std::optional<PlaceKey>& except) {
    std::optional<PlaceKey> chosen;
    double most = 0.0;
    for (const auto& [key, seconds] : scores) {
      if (key == except || score(seconds) <= most) continue;
      most = score(seconds);
      chosen = key;
    }
    return chosen;
  };
  const auto addressOf = [&](const PlaceKey& key) {
    if (const Venue* venue = venues_.find(key.venueId)) return venue->addressJson();
    const LoggedVisit& visit = examples[key];
    return Json{{"id", visit.addressId},
                {"location", {{"lat", visit.latitude}, {"lng", visit.longitude}}}};
  };
  Json answer = Json::object();
  const auto home = best([](const auto& s) { return s.first; }, std::nullopt);
  if (home) answer["home"] = addressOf(*home);
  const auto work = best([](const auto& s) { return s.second; }, home);
  if (work) answer["work"] = addressOf(*work);
  return answer;
}

Json ReferenceService::userData(const Json& body) {
  const std::string device = bodyText(body, "device_id");
  bodyText(body, "vendor_id");
  bodyText(body, "bundle_id");
  const auto info = body.find("info");
  if (info == body.end() || !info->is_array()) throw BadRequest("\"info\" must be an array");
  std::vector<std::pair<std::string, Json>> values;
  for (const Json& entry : *info) {
    if (!entry.is_object() || !entry.contains("key") || !entry["key"].is_string() ||
        entry["key"].get<std::string>().empty() || !entry.contains("value")) {
      throw BadRequest("each \"info\" entry must hold a \"key\" text and a \"value\"");
    }
    values.emplace_back(entry["key"].get<std::string>(), entry["value"]);
  }
  store_->saveUserValues(device, values, body, clock_().timeIntervalSince1970());
  return Json::object();
}

Json ReferenceService::logVisit(const Json& body) {
  LoggedVisit visit;
  visit.deviceId = bodyText(body, "device_id");
  visit.venueId = bodyText(body, "venue_id");
  visit.addressId = bodyText(body, "address_id");
  bodyText(body, "vendor_id");
  bodyText(body, "bundle_id");
  bodyText(body, "geometry_id");
  bodyText(body, "sdk_version");
  visit.startMilliseconds = bodyMilliseconds(body, "start_time");
  visit.endMilliseconds = bodyMilliseconds(body, "end_time");
  if (visit.endMilliseconds != 0 && visit.endMilliseconds < visit.startMilliseconds) {
    throw BadRequest("\"end_time\" is before \"start_time\"");
  }
  visit.latitude = body.contains("lat") ? bodyNumber(body, "lat", -90, 90) : 0.0;
  visit.longitude = body.contains("lng") ? bodyNumber(body, "lng", -180, 180) : 0.0;
  if (const auto opened = body.find("app_opened"); opened != body.end() && !opened->is_boolean()) {
    throw BadRequest("\"app_opened\" must be a Boolean");
  }
  visit.body = body;
  store_->logVisit(visit, clock_().timeIntervalSince1970());
  return Json::object();
}

Json ReferenceService::geofences(const Json& body) const {
  const Coordinate point{bodyNumber(body, "lat", -90, 90), bodyNumber(body, "lng", -180, 180)};
  bodyText(body, "device_id");
  const auto filters = filtersOf(body);
  Json geofences = Json::array();
  for (const auto& match :
       venues_.nearest(point, kGeofenceRadius, kGeofenceLimit, acceptor(filters))) {
    Json element = match.venue->venueJson();
    // Geofence elements carry "latitude"/"longitude", unlike the address map's "lat"/"lng".
    element["address"] = {{"id", match.venue->addressId},
                          {"location",
                           {{"latitude", match.venue->center.latitude},
                            {"longitude", match.venue->center.longitude}}}};
    geofences.push_back(std::move(element));
  }
  return geofences;
}

Json ReferenceService::recording(const Json& body) {
  const std::string session = bodyText(body, "session");
  if (session.empty()) throw BadRequest("missing \"session\"");
  const auto locations = body.find("locations");
  const auto visits = body.find("visits");
  if ((locations == body.end()) == (visits == body.end())) {
    throw BadRequest("a recording holds either \"locations\" or \"visits\"");
  }
  const auto& list = locations != body.end() ? *locations : *visits;
  if (!list.is_array()) throw BadRequest("the recording must be an array");
  std::vector<Json> entries;
  for (const Json& entry : list) {
    if (!entry.is_object()) throw BadRequest("each recorded entry must be an object");
    if (locations != body.end()) {
      bodyNumber(entry, "latitude", -90, 90);
      bodyNumber(entry, "longitude", -180, 180);
      bodyNumber(entry, "timestamp", 0, 1e11);
      entries.push_back(entry);
    } else {
      const auto visit = entry.find("visit");
      if (visit == entry.end() || !visit->is_object()) {
        throw BadRequest("each recorded visit must hold a \"visit\" object");
      }
      entries.push_back(*visit);
    }
  }
  if (locations != body.end()) {
    store_->recordLocations(session, entries);
  } else {
    store_->recordVisits(session, entries);
  }
  return Json::object();
}

Json ReferenceService::recordedLocations(const std::string& session) const {
  Json locations = Json::array();
  for (Json& location : store_->recordedLocations(session))
    locations.push_back(std::move(location));
  return {{"locations", std::move(locations)}};
}

Json ReferenceService::eventLog(const std::string& deviceId, const std::string& file,
                                const std::string& body) {
  const Json message = Json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (message.is_discarded() || !message.is_string()) {
    throw BadRequest("the body must be a JSON string");
  }
  const std::string time = file.substr(0, file.size() - std::string_view(".json").size());
  if (time.empty()) throw BadRequest("missing the time");
  store_->logEvent(deviceId, time, message.get<std::string>());
  return {{"name", deviceId + "/" + time}};
}

Json ReferenceService::reverseJsonV2(const RequestTarget& target) const {
  if (target.query("format") != "jsonv2") throw BadRequest("\"format\" must be jsonv2");
  const Coordinate point{queryNumber(target, "lat", -90, 90),
                         queryNumber(target, "lon", -180, 180)};
  const auto matches = venues_.nearest(point, kMatchRadius, 1);
  if (matches.empty()) return {{"error", "Unable to geocode"}};
  const Venue& venue = *matches.front().venue;
  const auto index = static_cast<std::size_t>(&venue - venues_.venues().data());
  std::string display = venue.name;
  const auto append = [&](const std::string& part) {
    if (part.empty()) return;
    if (!display.empty()) display += ", ";
    display += part;
  };
  append(venue.streetNumber.empty() ? venue.streetName
                                    : venue.streetNumber + " " + venue.streetName);
  append(venue.postalCode.empty() ? venue.locality : venue.postalCode + " " + venue.locality);
  append(venue.country);
  const auto decimal = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7f", value);
    return std::string(text);
  };
  return {{"place_id", index + 1},
          {"lat", decimal(venue.center.latitude)},
          {"lon", decimal(venue.center.longitude)},
          {"category", venue.category},
          {"type", venue.subcategory.empty() ? venue.category : venue.subcategory},
          {"name", venue.name},
          {"display_name", display},
          {"address",
           {{"house_number", venue.streetNumber},
            {"road", venue.streetName},
            {"city", venue.locality},
            {"state", venue.region},
            {"postcode", venue.postalCode},
            {"country", venue.country},
            {"country_code", lower(venue.countryCode)}}}};
}

}  // namespace trevalo::service
