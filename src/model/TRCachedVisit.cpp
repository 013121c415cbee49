#include "model/TRCachedVisit.h"

#include <functional>
#include <nlohmann/json.hpp>

#include "json/ParserUtils.h"
#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Platform.h"
#include "utils/TRUtils.h"

namespace trevalo {

namespace {

std::optional<Json> optionalText(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return Json(*text);
}

std::string textOrNull(const std::optional<std::string>& text) {
  return text ? *text : std::string("(null)");
}

}  // namespace

TRCachedVisit::TRCachedVisit(std::shared_ptr<TRPlace> geocodeResult, Date startDate, bool appActive)
    : startDate_(startDate), geocodeResult_(std::move(geocodeResult)), appActive_(appActive) {}

std::shared_ptr<TRCachedVisit> TRCachedVisit::initWithResult(std::shared_ptr<TRPlace> geocodeResult,
                                                             Date startDate, bool appActive) {
  return std::make_shared<TRCachedVisit>(std::move(geocodeResult), startDate, appActive);
}

std::string TRCachedVisit::cachedIdForResult(const TRPlace* place) {
  return place ? place->identityKey() : std::string();
}

std::string TRCachedVisit::cachedVisitId() const {
  return cachedIdForResult(geocodeResult_.get());
}

Json TRCachedVisit::dictionaryRepresentation() const {
  auto& platform = platform::Platform::current();
  const TRPlace* place = geocodeResult_.get();
  const TRAddress* address = place ? place->address.get() : nullptr;
  const TRVenue* venue = place ? place->venue.get() : nullptr;
  const TRGeometry* geometry = place ? place->geometry.get() : nullptr;

  Json body = Json::object();
  ParserUtils::addToDictionary(body, "address_id",
                               optionalText(address ? address->addressId : std::nullopt));
  ParserUtils::addToDictionary(body, "app_opened", Json(appActive_));
  ParserUtils::addToDictionary(body, "bundle_id",
                               optionalText(platform.application().bundleIdentifier()));
  ParserUtils::addToDictionary(body, "device_id", optionalText(TRUtils::IFA()));
  ParserUtils::addToDictionary(body, "vendor_id",
                               optionalText(platform.device().identifierForVendor()));
  ParserUtils::addToDictionary(body, "start_time",
                               Json(TRUtils::millisecondsSince1970(startDate_)));
  ParserUtils::addToDictionary(
      body, "end_time",
      Json(endDate_ ? TRUtils::millisecondsSince1970(*endDate_) : std::uint64_t{0}));
  ParserUtils::addToDictionary(body, "geometry_id",
                               optionalText(geometry ? geometry->geometryId : std::nullopt));
  ParserUtils::addToDictionary(body, "lat", Json(address ? address->lat : 0.0));
  ParserUtils::addToDictionary(body, "lng", Json(address ? address->lon : 0.0));
  ParserUtils::addToDictionary(body, "sdk_version", optionalText(TRUtils::version()));
  ParserUtils::addToDictionary(body, "venue_id",
                               optionalText(venue ? venue->venueId : std::nullopt));
  return body;
}

bool TRCachedVisit::isEqual(const platform::Archivable* object) const {
  if (object == this) return true;
  const auto* other = dynamic_cast<const TRCachedVisit*>(object);
  if (!other || startDate_ != other->startDate_) return false;
  if (!geocodeResult_ || !other->geocodeResult_) return !geocodeResult_ && !other->geocodeResult_;
  return geocodeResult_->isEqual(other->geocodeResult_.get());
}

std::size_t TRCachedVisit::hash() const {
  const bool hasValue = geocodeResult_ && geocodeResult_->hasValue();
  return std::hash<double>{}(startDate_.timeIntervalSince1970()) ^ (hasValue ? 1U : 0U);
}

std::string TRCachedVisit::description() const {
  return "<VenueVisit: startDate:" + startDate_.description() +
         ", venue:" + (geocodeResult_ ? geocodeResult_->description() : std::string("(null)")) +
         ">";
}

std::string TRCachedVisit::debugDescription() const {
  const TRVenue* venue = geocodeResult_ ? geocodeResult_->venue.get() : nullptr;
  const TRAddress* address = geocodeResult_ ? geocodeResult_->address.get() : nullptr;
  return textOrNull(venue ? venue->name : std::nullopt) + "(" +
         textOrNull(address ? address->streetNumber : std::nullopt) + " " +
         textOrNull(address ? address->streetName : std::nullopt) + ")";
}

std::shared_ptr<TRCachedVisit> TRCachedVisit::initWithCoder(platform::KeyedUnarchiver& coder) {
  const auto startDate = coder.decodeDate("self.startDate");
  if (!startDate) throw platform::ArchiveError("TRCachedVisit archived without its start date");
  auto visit =
      std::make_shared<TRCachedVisit>(coder.decodeObjectOfClass<TRPlace>("self.geocodeResult"),
                                      *startDate, coder.decodeBool("self.appActive"));
  visit->endDate_ = coder.decodeDate("self.endDate");
  return visit;
}

void TRCachedVisit::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeDate(startDate_, "self.startDate");
  coder.encodeObject(geocodeResult_, "self.geocodeResult");
  coder.encodeBool(appActive_, "self.appActive");
  coder.encodeDate(endDate_, "self.endDate");
}

}  // namespace trevalo
