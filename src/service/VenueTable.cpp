#include "service/VenueTable.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

#include "trevalo/platform/Location.h"

namespace trevalo::service {

namespace {

constexpr double kEarthRadius = 6371008.8;  // m, the mean radius

double radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

double geodesic(Coordinate a, Coordinate b) {
  return Location(a).distanceFromLocation(Location(b));
}

// Metres east and north of `origin`; exact enough over the few hundred metres of a building.
struct Local {
  double east, north;
};
Local local(Coordinate origin, Coordinate point) {
  return {radians(point.longitude - origin.longitude) * kEarthRadius *
              std::cos(radians(origin.latitude)),
          radians(point.latitude - origin.latitude) * kEarthRadius};
}

bool contains(const std::vector<Coordinate>& ring, Coordinate point) {
  bool inside = false;
  for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const Coordinate& a = ring[i];
    const Coordinate& b = ring[j];
    if ((a.latitude > point.latitude) != (b.latitude > point.latitude)) {
      const double crossing =
          (b.longitude - a.longitude) * (point.latitude - a.latitude) / (b.latitude - a.latitude) +
          a.longitude;
      if (point.longitude < crossing) inside = !inside;
    }
  }
  return inside;
}

double distanceToOutline(const std::vector<Coordinate>& ring, Coordinate point) {
  double best = INFINITY;
  for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const Local a = local(point, ring[j]);
    const Local b = local(point, ring[i]);
    const double dx = b.east - a.east, dy = b.north - a.north;
    const double length = dx * dx + dy * dy;
    const double t =
        length > 0.0 ? std::clamp(-(a.east * dx + a.north * dy) / length, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(a.east + t * dx, a.north + t * dy));
  }
  return best;
}

std::string property(const Json& properties, const char* key, std::size_t feature) {
  const auto found = properties.find(key);
  if (found == properties.end() || found->is_null()) return {};
  if (!found->is_string()) {
    throw VenueTableError("feature " + std::to_string(feature) + ": \"" + key +
                          "\" must be a string");
  }
  return found->get<std::string>();
}

Coordinate position(const Json& value, std::size_t feature) {
  if (!value.is_array() || value.size() < 2 || !value[0].is_number() || !value[1].is_number()) {
    throw VenueTableError("feature " + std::to_string(feature) +
                          ": a position must be [longitude, latitude]");
  }
  const Coordinate c{value[1].get<double>(), value[0].get<double>()};
  if (!std::isfinite(c.latitude) || !std::isfinite(c.longitude) || !c.isValid()) {
    throw VenueTableError("feature " + std::to_string(feature) + ": a position is out of range");
  }
  return c;
}

Venue venueFrom(const Json& feature, std::size_t index) {
  const std::string where = "feature " + std::to_string(index);
  if (!feature.is_object() || feature.value("type", "") != "Feature") {
    throw VenueTableError(where + ": not a GeoJSON Feature");
  }
  const Json properties = feature.contains("properties") && feature["properties"].is_object()
                              ? feature["properties"]
                              : Json::object();
  Venue venue;
  venue.id = property(properties, "id", index);
  if (venue.id.empty() && feature.contains("id")) {
    const Json& id = feature["id"];
    venue.id = id.is_string() ? id.get<std::string>() : id.dump();
  }
  if (venue.id.empty()) throw VenueTableError(where + ": no \"id\"");
  venue.name = property(properties, "name", index);
  venue.category = property(properties, "category", index);
  venue.subcategory = property(properties, "subcategory", index);
  venue.addressId = property(properties, "address_id", index);
  if (venue.addressId.empty()) venue.addressId = "a-" + venue.id;
  venue.streetNumber = property(properties, "street_number", index);
  venue.streetName = property(properties, "street_name", index);
  venue.postalCode = property(properties, "postal_code", index);
  venue.locality = property(properties, "locality", index);
  venue.region = property(properties, "region", index);
  venue.country = property(properties, "country", index);
  venue.countryCode = property(properties, "country_code", index);

  const auto geometry = feature.find("geometry");
  if (geometry == feature.end() || !geometry->is_object()) {
    throw VenueTableError(where + ": no geometry");
  }
  const std::string type = geometry->value("type", "");
  const auto coordinates = geometry->find("coordinates");
  if (coordinates == geometry->end()) throw VenueTableError(where + ": no coordinates");
  if (type == "Point") {
    venue.center = position(*coordinates, index);
  } else if (type == "Polygon") {
    if (!coordinates->is_array() || coordinates->empty() || !(*coordinates)[0].is_array()) {
      throw VenueTableError(where + ": a Polygon needs a list of rings");
    }
    for (const Json& vertex : (*coordinates)[0])
      venue.outline.push_back(position(vertex, index));
    if (venue.outline.size() > 1 && venue.outline.front() == venue.outline.back()) {
      venue.outline.pop_back();
    }
    if (venue.outline.size() < 3) throw VenueTableError(where + ": a ring needs three vertices");
    double latitude = 0.0, longitude = 0.0;
    for (const Coordinate& vertex : venue.outline) {
      latitude += vertex.latitude;
      longitude += vertex.longitude;
    }
    const auto n = static_cast<double>(venue.outline.size());
    venue.center = {latitude / n, longitude / n};
  } else {
    throw VenueTableError(where + ": geometry \"" + type + "\" is neither Point nor Polygon");
  }
  return venue;
}

}  // namespace

Json Venue::venueJson() const {
  return {{"id", id},
          {"address_id", addressId},
          {"name", name},
          {"category", category},
          {"subcategory", subcategory}};
}

Json Venue::addressJson() const {
  return {{"id", addressId},
          {"geometry_id", "g-" + id},
          {"location", {{"lat", center.latitude}, {"lng", center.longitude}}},
          {"coordinates_type", outline.empty() ? "point" : "polygon"},
          {"country", country},
          {"venue_count", 1},
          {"locality", locality},
          {"country_code", countryCode},
          {"street_name", streetName},
          {"street_number", streetNumber},
          {"postal_code", postalCode},
          {"region", region}};
}

Json Venue::geometryJson() const {
  if (outline.empty()) {
    return {{"type", "Point"},
            {"coordinates", Json::array({Json::array({center.longitude, center.latitude})})}};
  }
  Json ring = Json::array();
  for (const Coordinate& vertex : outline)
    ring.push_back({vertex.longitude, vertex.latitude});
  ring.push_back({outline.front().longitude, outline.front().latitude});
  return {{"type", "Polygon"}, {"coordinates", Json::array({ring})}};
}

VenueTable::VenueTable(std::vector<Venue> venues) : venues_(std::move(venues)) {}

VenueTable VenueTable::fromGeoJson(std::string_view text) {
  const Json document = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) throw VenueTableError("not valid JSON");
  if (!document.is_object() || document.value("type", "") != "FeatureCollection" ||
      !document.contains("features") || !document["features"].is_array()) {
    throw VenueTableError("not a GeoJSON FeatureCollection");
  }
  std::vector<Venue> venues;
  std::size_t index = 0;
  for (const Json& feature : document["features"]) {
    venues.push_back(venueFrom(feature, index++));
    const bool duplicate = std::count_if(venues.begin(), venues.end(), [&](const Venue& venue) {
                             return venue.id == venues.back().id;
                           }) > 1;
    if (duplicate) {
      throw VenueTableError("feature " + std::to_string(index - 1) + ": the id \"" +
                            venues.back().id + "\" is taken");
    }
  }
  return VenueTable(std::move(venues));
}

const Venue* VenueTable::find(std::string_view id) const {
  const auto found = std::find_if(venues_.begin(), venues_.end(),
                                  [&](const Venue& venue) { return venue.id == id; });
  return found == venues_.end() ? nullptr : &*found;
}

VenueTable::Match VenueTable::distance(const Venue& venue, Coordinate point) {
  if (venue.outline.empty()) return {&venue, geodesic(venue.center, point), false};
  if (contains(venue.outline, point)) return {&venue, 0.0, true};
  return {&venue, distanceToOutline(venue.outline, point), false};
}

std::vector<VenueTable::Match> VenueTable::nearest(
    Coordinate point, double radius, std::size_t limit,
    const std::function<bool(const Venue&)>& accept) const {
  std::vector<Match> matches;
  for (const Venue& venue : venues_) {
    if (accept && !accept(venue)) continue;
    const Match match = distance(venue, point);
    if (match.distance <= radius) matches.push_back(match);
  }
  std::stable_sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
    if (a.inside != b.inside) return a.inside;
    return a.distance < b.distance;
  });
  if (matches.size() > limit) matches.resize(limit);
  return matches;
}

}  // namespace trevalo::service
