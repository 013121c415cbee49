#include "trevalo/model/TREvent.h"

#include "json/ParserUtils.h"
#include "model/ModelValues.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

using model_detail::stringMember;

std::shared_ptr<TREvent> TREvent::initWithDictionary(const Json* dictionary) {
  auto event = std::make_shared<TREvent>();
  event->startTime = ParserUtils::dateFromMilliseconds(dictionary, "start_time");
  event->stopTime = ParserUtils::dateFromMilliseconds(dictionary, "stop_time");
  event->eventId = stringMember(dictionary, "id");
  event->name = stringMember(dictionary, "name");
  event->url = stringMember(dictionary, "url");
  event->addressId = stringMember(dictionary, "address_id");
  event->venueId = stringMember(dictionary, "venue_id");
  const Json* location = ParserUtils::map(dictionary, "location");
  event->lat = ParserUtils::doubleValue(location, "lat");
  event->lon = ParserUtils::doubleValue(location, "lng");
  return event;
}

std::shared_ptr<TREvent> TREvent::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto event = std::make_shared<TREvent>();
  event->lat = coder.decodeDouble("_lat");
  event->lon = coder.decodeDouble("_lon");
  event->eventId = coder.decodeString("self.eventId");
  event->name = coder.decodeString("self.name");
  event->url = coder.decodeString("self.url");
  event->startTime = coder.decodeDate("self.startTime");
  event->stopTime = coder.decodeDate("self.stopTime");
  event->addressId = coder.decodeString("self.addressId");
  event->venueId = coder.decodeString("self.venueId");
  return event;
}

void TREvent::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeDouble(lat, "_lat");
  coder.encodeDouble(lon, "_lon");
  coder.encodeString(eventId, "self.eventId");
  coder.encodeString(name, "self.name");
  coder.encodeString(url, "self.url");
  coder.encodeDate(startTime, "self.startTime");
  coder.encodeDate(stopTime, "self.stopTime");
  coder.encodeString(addressId, "self.addressId");
  coder.encodeString(venueId, "self.venueId");
}

}  // namespace trevalo
