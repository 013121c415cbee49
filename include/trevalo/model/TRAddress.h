#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Placemark.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// A street address as the service describes it. A plain record: every text field may be
// missing, numbers default to 0, nothing is validated.
class TRAddress final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRAddress";

  std::optional<std::string> addressId;        // "id"
  std::optional<std::string> geometryId;       // "geometry_id"
  std::optional<std::string> coordinatesType;  // "coordinates_type"
  std::optional<std::string> country;          // "country", the country's name
  std::optional<std::string> locality;         // "locality", the city
  std::optional<std::string> countryCode;      // "country_code"
  std::optional<std::string> streetName;       // "street_name"
  std::optional<std::string> streetNumber;     // "street_number"
  std::optional<std::string> postalCode;       // "postal_code"
  std::optional<std::string> region;           // "region"
  std::uint64_t venueCount = 0;                // "venue_count"
  double lat = 0.0;                            // "location" → "lat", degrees
  double lon = 0.0;                            // "location" → "lng", degrees

  TRAddress() = default;

  Coordinate coordinate() const noexcept { return {lat, lon}; }

  // Reads an address map; anything but a map gives an address with every field at its default.
  // A negative "venue_count" reads as 0.
  static std::shared_ptr<TRAddress> initWithDictionary(const Json* dictionary);
  static std::shared_ptr<TRAddress> initWithDictionary(const Json& dictionary) {
    return initWithDictionary(&dictionary);
  }
  // An address for a geocoder answer, under an upper-case UUID derived from the placemark's
  // address text (the same for the same address, wherever it was asked for); without any
  // address text, under no id. A placemark without a location gives the coordinate (0, 0).
  static std::shared_ptr<TRAddress> initWithPlacemark(const platform::Placemark& placemark);

  // The address map under "home" (or "work") of the home/work answer; nothing without one.
  static std::shared_ptr<TRAddress> homeAddressWithJson(const Json& json);
  static std::shared_ptr<TRAddress> workAddressWithJson(const Json& json);

  static std::shared_ptr<TRAddress> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;
};

}  // namespace trevalo
