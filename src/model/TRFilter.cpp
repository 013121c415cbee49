#include "trevalo/model/TRFilter.h"

#include <nlohmann/json.hpp>

#include "json/ParserUtils.h"
#include "model/ModelValues.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {

std::optional<Json> optionalText(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return Json(*text);
}

// A field set on this side must be matched exactly; a field left empty here accepts anything.
bool accepts(const std::optional<std::string>& mine, const std::optional<std::string>& theirs) {
  return !model_detail::hasCharacters(mine) || mine == theirs;
}

}  // namespace

Json TRFilter::toArray(const std::vector<std::shared_ptr<TRFilter>>& filters) {
  Json array = Json::array();
  for (const auto& filter : filters) {
    if (!filter) continue;
    Json map = Json::object();
    ParserUtils::addToDictionary(map, "venue_category", optionalText(filter->venueCategory));
    ParserUtils::addToDictionary(map, "venue_name", optionalText(filter->venueName));
    ParserUtils::addToDictionary(map, "address_id", optionalText(filter->addressId));
    array.push_back(std::move(map));
  }
  return array;
}

bool TRFilter::isEqual(const platform::Archivable* object) const {
  const auto* other = dynamic_cast<const TRFilter*>(object);
  if (!other) return false;
  if (radius != other->radius) return false;
  return accepts(venueCategory, other->venueCategory) && accepts(venueName, other->venueName) &&
         accepts(addressId, other->addressId);
}

std::string TRFilter::description() const {
  using model_detail::describe;
  return "TRFilter: venueCategory: " + describe(venueCategory) +
         "; venueName: " + describe(venueName) + "; radius:" + describe(radius) +
         " addressId:" + describe(addressId);
}

std::shared_ptr<TRFilter> TRFilter::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto filter = std::make_shared<TRFilter>();
  filter->venueCategory = coder.decodeString("self.venueCategory");
  filter->venueName = coder.decodeString("self.venueName");
  filter->radius = coder.decodeDouble("self.radius");
  filter->addressId = coder.decodeString("self.addressId");
  return filter;
}

void TRFilter::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeString(venueCategory, "self.venueCategory");
  coder.encodeString(venueName, "self.venueName");
  coder.encodeDouble(radius, "self.radius");
  coder.encodeString(addressId, "self.addressId");
}

}  // namespace trevalo
