#include "trevalo/model/TRVisit.h"

#include "json/ParserUtils.h"
#include "model/TRCachedVisit.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

std::shared_ptr<TRVisit> TRVisit::initWithDictionary(const Json* dictionary) {
  auto visit = std::make_shared<TRVisit>();
  const Date arrival = ParserUtils::dateFromMilliseconds(dictionary, "start_time");
  visit->arrivalDate = arrival;
  visit->departureDate = arrival.dateByAddingTimeInterval(
      ParserUtils::dateDoubleMilliseconds(dictionary, "dwell_time"));
  visit->place = std::make_shared<TRPlace>();
  visit->place->venue = TRVenue::initWithDictionary(ParserUtils::map(dictionary, "venue"));
  visit->place->address = TRAddress::initWithDictionary(ParserUtils::map(dictionary, "address"));
  return visit;
}

std::vector<std::shared_ptr<TRVisit>> TRVisit::visitsWithJson(const Json& json) {
  std::vector<std::shared_ptr<TRVisit>> visits;
  const Json* list = ParserUtils::array(json, "visits");
  if (!list) return visits;
  visits.reserve(list->size());
  for (const Json& element : *list)
    visits.push_back(initWithDictionary(element));
  return visits;
}

std::shared_ptr<TRVisit> TRVisit::initWithVisit(const TRCachedVisit& visit) {
  auto result = std::make_shared<TRVisit>();
  result->place = visit.geocodeResult();
  result->arrivalDate = visit.startDate();
  result->departureDate = visit.endDate();
  return result;
}

std::shared_ptr<TRVisit> TRVisit::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto visit = std::make_shared<TRVisit>();
  visit->arrivalDate = coder.decodeDate("self.arrivalDate");
  visit->departureDate = coder.decodeDate("self.departureDate");
  visit->place = coder.decodeObjectOfClass<TRPlace>("self.place");
  return visit;
}

void TRVisit::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeDate(arrivalDate, "self.arrivalDate");
  coder.encodeDate(departureDate, "self.departureDate");
  coder.encodeObject(place, "self.place");
}

}  // namespace trevalo
