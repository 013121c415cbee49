#pragma once

#include <optional>
#include <string>

#include "trevalo/platform/Location.h"

namespace trevalo::platform {

// One answer of the reverse geocoder: what is known about the place at a location. Every member
// may be missing; the geocoder fills what it knows.
struct Placemark {
  std::optional<std::string> name;
  std::optional<Location> location;
  std::optional<std::string> country;          // the country's name
  std::optional<std::string> locality;         // the city
  std::optional<std::string> ISOcountryCode;   // two letters, "US"
  std::optional<std::string> thoroughfare;     // the street name
  std::optional<std::string> subThoroughfare;  // the house number
  std::optional<std::string> postalCode;
};

}  // namespace trevalo::platform

namespace trevalo {
using platform::Placemark;
}
