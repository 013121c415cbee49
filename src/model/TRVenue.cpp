#include "trevalo/model/TRVenue.h"

#include "model/ModelValues.h"
#include "model/PlacemarkIdentity.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

using model_detail::stringMember;

std::shared_ptr<TRVenue> TRVenue::initWithDictionary(const Json* dictionary) {
  auto venue = std::make_shared<TRVenue>();
  venue->venueId = stringMember(dictionary, "id");
  venue->addressId = stringMember(dictionary, "address_id");
  venue->name = stringMember(dictionary, "name");
  venue->category = stringMember(dictionary, "category");
  venue->subcategory = stringMember(dictionary, "subcategory");
  return venue;
}

std::shared_ptr<TRVenue> TRVenue::initWithPlacemark(const platform::Placemark& placemark) {
  auto venue = std::make_shared<TRVenue>();
  venue->venueId = PlacemarkIdentity::venueId(placemark);
  venue->name = placemark.name;
  return venue;
}

std::shared_ptr<TRVenue> TRVenue::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto venue = std::make_shared<TRVenue>();
  venue->venueId = coder.decodeString("self.venueId");
  venue->addressId = coder.decodeString("self.addressId");
  venue->name = coder.decodeString("self.name");
  venue->category = coder.decodeString("self.category");
  venue->subcategory = coder.decodeString("self.subcategory");
  return venue;
}

void TRVenue::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeString(venueId, "self.venueId");
  coder.encodeString(addressId, "self.addressId");
  coder.encodeString(name, "self.name");
  coder.encodeString(category, "self.category");
  coder.encodeString(subcategory, "self.subcategory");
}

std::string TRVenue::description() const {
  return model_detail::describeIdentity(kArchiveClassName, this);
}

}  // namespace trevalo
