#pragma once

#include <optional>
#include <string>

#include "trevalo/platform/Placemark.h"

namespace trevalo {

// The identifiers of the address and the venue built from a geocoder's placemark. They are
// derived from what the placemark says, so that the same place resolved twice gets the same
// identifiers and a visit to it can continue; where it was asked for does not count (two fixes
// of one stay differ by metres, the place they name does not). Text missing and text empty are
// the same.
class PlacemarkIdentity {
 public:
  PlacemarkIdentity() = delete;

  // From the country, its code, the locality, the postal code, the street and the number;
  // nothing when the placemark holds none of them (such an address names no place, and two of
  // them are not the same place).
  static std::optional<std::string> addressId(const platform::Placemark& placemark);
  // From the name and everything the address id is made from.
  static std::string venueId(const platform::Placemark& placemark);
};

}  // namespace trevalo
