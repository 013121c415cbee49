#pragma once

#include <string>

namespace trevalo::service::testing {

// Four venues around 48.85 N, 2.35 E: a café drawn as a building, a bakery 60 m east of it,
// an office and a home far from both.
inline const std::string kVenues = R"({
  "type": "FeatureCollection",
  "features": [
    {"type": "Feature", "id": "cafe",
     "properties": {"name": "Café Lumière", "category": "food", "subcategory": "cafe",
                    "street_number": "12", "street_name": "Rue Haute", "postal_code": "75004",
                    "locality": "Paris", "country": "France", "country_code": "FR"},
     "geometry": {"type": "Polygon", "coordinates": [[[2.3500, 48.8500], [2.3504, 48.8500],
                  [2.3504, 48.8503], [2.3500, 48.8503], [2.3500, 48.8500]]]}},
    {"type": "Feature",
     "properties": {"id": "bakery", "name": "Boulangerie", "category": "food",
                    "subcategory": "bakery"},
     "geometry": {"type": "Point", "coordinates": [2.3510, 48.85015]}},
    {"type": "Feature",
     "properties": {"id": "office", "name": "Office", "category": "work", "address_id": "a-7"},
     "geometry": {"type": "Point", "coordinates": [2.3700, 48.8600]}},
    {"type": "Feature",
     "properties": {"id": "home", "name": "Home", "category": "residence"},
     "geometry": {"type": "Point", "coordinates": [2.3300, 48.8400]}}
  ]
})";

}  // namespace trevalo::service::testing
