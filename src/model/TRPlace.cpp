#include "trevalo/model/TRPlace.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "json/ParserUtils.h"
#include "model/ModelValues.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {

constexpr std::array<std::string_view, 4> kUnitedStatesNames{"united states", "us", "usa",
                                                             "united states of america"};

std::string lowerCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::shared_ptr<TRPlace> TRPlace::initWithDictionary(const Json* dictionary) {
  return parse(dictionary, 0);
}

std::shared_ptr<TRPlace> TRPlace::parse(const Json* dictionary, int depth) {
  auto place = std::make_shared<TRPlace>();
  place->geometry = TRGeometry::initWithDictionary(ParserUtils::map(dictionary, "geometry"));
  place->address = TRAddress::initWithDictionary(ParserUtils::map(dictionary, "address"));
  place->venue = TRVenue::initWithDictionary(ParserUtils::map(dictionary, "venue"));

  place->events.emplace();
  if (const Json* events = ParserUtils::array(dictionary, "events")) {
    place->events->reserve(events->size());
    for (const Json& event : *events)
      place->events->push_back(TREvent::initWithDictionary(event));
  }

  place->alternatives.emplace();
  const Json* alternatives = ParserUtils::array(dictionary, "alternatives");
  if (alternatives && depth < kMaximumAlternativeDepth) {
    place->alternatives->reserve(alternatives->size());
    for (const Json& alternative : *alternatives)
      place->alternatives->push_back(parse(&alternative, depth + 1));
  }
  return place;
}

std::vector<std::shared_ptr<TRPlace>> TRPlace::placesWithSearchJson(const Json& json) {
  std::vector<std::shared_ptr<TRPlace>> places;
  if (!json.is_array()) return places;
  places.reserve(json.size());
  for (const Json& element : json) {
    auto place = std::make_shared<TRPlace>();
    place->venue = TRVenue::initWithDictionary(element);
    place->address = TRAddress::initWithDictionary(ParserUtils::map(element, "address"));
    // The embedded address is the authority on which address the venue belongs to.
    place->venue->addressId = place->address->addressId;
    places.push_back(std::move(place));
  }
  return places;
}

std::shared_ptr<TRPlace> TRPlace::initWithPlacemarks(
    const std::vector<platform::Placemark>& placemarks) {
  auto place = std::make_shared<TRPlace>();
  if (placemarks.empty()) return place;
  place->address = TRAddress::initWithPlacemark(placemarks.front());
  place->venue = TRVenue::initWithPlacemark(placemarks.front());
  return place;
}

bool TRPlace::hasValue() const {
  if (venue && model_detail::hasCharacters(venue->venueId)) return true;
  return address && model_detail::hasCharacters(address->addressId);
}

bool TRPlace::outsideOfUS() const {
  if (!address || !model_detail::hasCharacters(address->country)) return true;
  const std::string country = lowerCased(*address->country);
  return std::find(kUnitedStatesNames.begin(), kUnitedStatesNames.end(), country) ==
         kUnitedStatesNames.end();
}

std::string TRPlace::identityKey() const {
  std::string key;
  if (address && address->addressId) key += *address->addressId;
  if (venue && venue->venueId) key += *venue->venueId;
  return key;
}

bool TRPlace::isEqual(const platform::Archivable* object) const {
  if (object == this) return true;
  const auto* other = dynamic_cast<const TRPlace*>(object);
  return other && identityKey() == other->identityKey();
}

std::string TRPlace::description() const {
  return "<TRPlace: venue:" + (venue ? venue->description() : std::string("(null)")) + ">";
}

std::shared_ptr<TRPlace> TRPlace::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto place = std::make_shared<TRPlace>();
  place->address = coder.decodeObjectOfClass<TRAddress>("self.address");
  place->venue = coder.decodeObjectOfClass<TRVenue>("self.venue");
  place->events = coder.decodeArrayOfObjectsOfClass<TREvent>("self.events");
  place->alternatives = coder.decodeArrayOfObjectsOfClass<TRPlace>("self.alternatives");
  place->geometry = coder.decodeObjectOfClass<TRGeometry>("self.geometry");
  return place;
}

void TRPlace::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeObject(address, "self.address");
  coder.encodeObject(venue, "self.venue");
  // A missing list is written as an explicit null, which reads back as missing, not as empty.
  if (events)
    coder.encodeObjects(*events, "self.events");
  else
    coder.encodeObject(nullptr, "self.events");
  if (alternatives)
    coder.encodeObjects(*alternatives, "self.alternatives");
  else
    coder.encodeObject(nullptr, "self.alternatives");
  coder.encodeObject(geometry, "self.geometry");
}

}  // namespace trevalo
