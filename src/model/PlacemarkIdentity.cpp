#include "model/PlacemarkIdentity.h"

#include "utils/NameBasedUuid.h"

namespace trevalo {

namespace {

// Each field is written with its length, so that no text can pass for the end of one field and
// the start of the next.
void append(std::string& name, const std::optional<std::string>& field) {
  if (!field || field->empty()) {
    name += '-';
    return;
  }
  name += std::to_string(field->size());
  name += ':';
  name += *field;
}

std::string addressText(const platform::Placemark& placemark) {
  std::string name;
  append(name, placemark.country);
  append(name, placemark.ISOcountryCode);
  append(name, placemark.locality);
  append(name, placemark.postalCode);
  append(name, placemark.thoroughfare);
  append(name, placemark.subThoroughfare);
  return name;
}

}  // namespace

std::optional<std::string> PlacemarkIdentity::addressId(const platform::Placemark& placemark) {
  const std::string text = addressText(placemark);
  if (text.find_first_not_of('-') == std::string::npos) return std::nullopt;
  return NameBasedUuid::make(NameBasedUuid::kPlacemarkNamespace, "address\n" + text);
}

std::string PlacemarkIdentity::venueId(const platform::Placemark& placemark) {
  std::string name = "venue\n";
  append(name, placemark.name);
  return NameBasedUuid::make(NameBasedUuid::kPlacemarkNamespace,
                             name + "\n" + addressText(placemark));
}

}  // namespace trevalo
