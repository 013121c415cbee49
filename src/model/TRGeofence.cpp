#include "trevalo/model/TRGeofence.h"

#include "json/ParserUtils.h"
#include "model/ModelValues.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

std::shared_ptr<TRGeofence> TRGeofence::initWithDictionary(const Json& dictionary, double raduis) {
  auto geofence = std::make_shared<TRGeofence>();
  geofence->venue = TRVenue::initWithDictionary(dictionary);
  // These names differ from the "lat"/"lng" of address maps: geofence answers spell them out.
  const Json* location = ParserUtils::map(ParserUtils::map(dictionary, "address"), "location");
  const Json* latitude = ParserUtils::numberValue(location, "latitude");
  const Json* longitude = ParserUtils::numberValue(location, "longitude");
  // An element without a position has no centre: read as (0, 0) it would lie thousands of
  // kilometres off, and the manager's reload distance with it.
  if (latitude && longitude && latitude->is_number() && longitude->is_number()) {
    geofence->center = {latitude->get<double>(), longitude->get<double>()};
  } else {
    geofence->center = kCoordinateInvalid;
  }
  geofence->radius = raduis;
  return geofence;
}

std::shared_ptr<TRGeofence> TRGeofence::initWithCoordinate(Coordinate coordinate, double radius) {
  auto geofence = std::make_shared<TRGeofence>();
  geofence->center = coordinate;
  geofence->radius = radius;
  return geofence;
}

std::optional<std::vector<std::shared_ptr<TRGeofence>>> TRGeofence::geofencesWithJson(
    const Json& json) {
  if (!json.is_array()) return std::nullopt;
  std::vector<std::shared_ptr<TRGeofence>> geofences;
  geofences.reserve(json.size());
  for (const Json& element : json)
    geofences.push_back(initWithDictionary(element, kDefaultRadius));
  return geofences;
}

std::string TRGeofence::description() const {
  using model_detail::describe;
  return "TRGeofence: venue:" + describe(venue ? venue->name : std::nullopt) +
         "; center: " + describe(center.latitude) + "," + describe(center.longitude) +
         "; radius: " + describe(radius);
}

std::shared_ptr<TRGeofence> TRGeofence::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto geofence = std::make_shared<TRGeofence>();
  geofence->center = {coder.decodeDouble("self.center.latitude"),
                      coder.decodeDouble("self.center.longitude")};
  geofence->radius = coder.decodeDouble("self.radius");
  geofence->venue = coder.decodeObjectOfClass<TRVenue>("self.venue");
  return geofence;
}

void TRGeofence::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeDouble(center.latitude, "self.center.latitude");
  coder.encodeDouble(center.longitude, "self.center.longitude");
  coder.encodeDouble(radius, "self.radius");
  coder.encodeObject(venue, "self.venue");
}

}  // namespace trevalo
