#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Coordinate.h"

namespace trevalo::service {

// A venue of the reference service: its identity and address, and where it is (a point, or
// the outline of its building).
struct Venue {
  std::string id;
  std::string name;
  std::string category;
  std::string subcategory;
  std::string addressId;
  std::string streetNumber;
  std::string streetName;
  std::string postalCode;
  std::string locality;
  std::string region;
  std::string country;
  std::string countryCode;
  Coordinate center;                // the point, or the outline's mean vertex
  std::vector<Coordinate> outline;  // the outer ring; empty for a point venue

  // The service's venue map ("id", "address_id", "name", "category", "subcategory").
  Json venueJson() const;
  // The service's address map, with "location" {"lat", "lng"}.
  Json addressJson() const;
  // The GeoJSON geometry: a Polygon for an outline, else a Point.
  Json geometryJson() const;
};

// Why a venue file cannot be used.
class VenueTableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The venues the reference service knows, from a GeoJSON FeatureCollection of Point and
// Polygon features. Each feature's properties give "id" (or the feature's own "id"), "name",
// "category", "subcategory", "address_id" (default "a-" and the venue id), and the address:
// "street_number", "street_name", "postal_code", "locality", "region", "country",
// "country_code".
class VenueTable {
 public:
  struct Match {
    const Venue* venue = nullptr;
    double distance = 0.0;  // m; 0 inside an outline
    bool inside = false;
  };

  VenueTable() = default;
  explicit VenueTable(std::vector<Venue> venues);
  // Raises VenueTableError naming the feature at fault.
  static VenueTable fromGeoJson(std::string_view text);

  const std::vector<Venue>& venues() const noexcept { return venues_; }
  const Venue* find(std::string_view id) const;

  // Distance from `point` to the venue: to its outline (0 inside), or to its point.
  static Match distance(const Venue& venue, Coordinate point);
  // Venues within `radius` metres of `point` that `accept` takes, nearest first (an outline
  // holding the point before any other), at most `limit`.
  std::vector<Match> nearest(Coordinate point, double radius, std::size_t limit,
                             const std::function<bool(const Venue&)>& accept = {}) const;

 private:
  std::vector<Venue> venues_;
};

}  // namespace trevalo::service
