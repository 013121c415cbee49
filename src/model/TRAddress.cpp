#include "trevalo/model/TRAddress.h"

#include "json/ParserUtils.h"
#include "model/ModelValues.h"
#include "model/PlacemarkIdentity.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

using model_detail::stringMember;

std::shared_ptr<TRAddress> TRAddress::initWithDictionary(const Json* dictionary) {
  auto address = std::make_shared<TRAddress>();
  address->addressId = stringMember(dictionary, "id");
  address->geometryId = stringMember(dictionary, "geometry_id");
  const Json* location = ParserUtils::map(dictionary, "location");
  address->lat = ParserUtils::doubleValue(location, "lat");
  address->lon = ParserUtils::doubleValue(location, "lng");
  address->coordinatesType = stringMember(dictionary, "coordinates_type");
  address->country = stringMember(dictionary, "country");
  address->venueCount = model_detail::countMember(dictionary, "venue_count");
  address->locality = stringMember(dictionary, "locality");
  address->countryCode = stringMember(dictionary, "country_code");
  address->streetName = stringMember(dictionary, "street_name");
  address->streetNumber = stringMember(dictionary, "street_number");
  address->postalCode = stringMember(dictionary, "postal_code");
  address->region = stringMember(dictionary, "region");
  return address;
}

std::shared_ptr<TRAddress> TRAddress::initWithPlacemark(const platform::Placemark& placemark) {
  auto address = std::make_shared<TRAddress>();
  address->addressId = PlacemarkIdentity::addressId(placemark);
  if (placemark.location) {
    address->lat = placemark.location->coordinate().latitude;
    address->lon = placemark.location->coordinate().longitude;
  }
  address->country = placemark.country;
  address->locality = placemark.locality;
  address->countryCode = placemark.ISOcountryCode;
  address->streetName = placemark.thoroughfare;
  address->streetNumber = placemark.subThoroughfare;
  address->postalCode = placemark.postalCode;
  return address;
}

std::shared_ptr<TRAddress> TRAddress::homeAddressWithJson(const Json& json) {
  const Json* home = ParserUtils::map(json, "home");
  return home ? initWithDictionary(home) : nullptr;
}

std::shared_ptr<TRAddress> TRAddress::workAddressWithJson(const Json& json) {
  const Json* work = ParserUtils::map(json, "work");
  return work ? initWithDictionary(work) : nullptr;
}

std::shared_ptr<TRAddress> TRAddress::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto address = std::make_shared<TRAddress>();
  address->addressId = coder.decodeString("self.addressId");
  address->geometryId = coder.decodeString("self.geometryId");
  address->coordinatesType = coder.decodeString("self.coordinatesType");
  address->country = coder.decodeString("self.country");
  address->locality = coder.decodeString("self.locality");
  address->countryCode = coder.decodeString("self.countryCode");
  address->streetName = coder.decodeString("self.streetName");
  address->streetNumber = coder.decodeString("self.streetNumber");
  address->postalCode = coder.decodeString("self.postalCode");
  address->region = coder.decodeString("self.region");
  address->venueCount = model_detail::countFromArchive(coder.decodeInt64("self.venueCount"));
  address->lat = coder.decodeDouble("self.lat");
  address->lon = coder.decodeDouble("self.lon");
  return address;
}

void TRAddress::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeString(addressId, "self.addressId");
  coder.encodeString(geometryId, "self.geometryId");
  coder.encodeString(coordinatesType, "self.coordinatesType");
  coder.encodeString(country, "self.country");
  coder.encodeString(locality, "self.locality");
  coder.encodeString(countryCode, "self.countryCode");
  coder.encodeString(streetName, "self.streetName");
  coder.encodeString(streetNumber, "self.streetNumber");
  coder.encodeString(postalCode, "self.postalCode");
  coder.encodeString(region, "self.region");
  coder.encodeInt64(model_detail::archivedCount(venueCount), "self.venueCount");
  coder.encodeDouble(lat, "self.lat");
  coder.encodeDouble(lon, "self.lon");
}

}  // namespace trevalo
