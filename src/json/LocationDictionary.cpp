#include "json/LocationDictionary.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "json/ParserUtils.h"
#include "utils/TextScanning.h"

namespace trevalo {

namespace {

constexpr const char* kLatitude = "latitude";
constexpr const char* kLongitude = "longitude";
constexpr const char* kTimestamp = "timestamp";
constexpr const char* kAltitude = "altitude";
constexpr const char* kCourse = "course";
constexpr const char* kSpeed = "speed";
constexpr const char* kHorizontalAccuracy = "horizontalAccuracy";
constexpr const char* kVerticalAccuracy = "verticalAccuracy";

std::optional<double> presentValue(const Json& dictionary, const char* key) {
  const Json* found = ParserUtils::object(dictionary, key);
  if (found == nullptr) return std::nullopt;
  if (found->is_boolean()) return found->get<bool>() ? 1.0 : 0.0;
  if (found->is_number()) return found->get<double>();
  if (found->is_string()) {
    return text_scanning::leadingDecimal(found->get_ref<const std::string&>()).value_or(0.0);
  }
  return std::nullopt;
}

bool allFinite(const Json& dictionary) {
  for (const auto& [key, value] : dictionary.items()) {
    if (value.is_number_float() && !std::isfinite(value.get<double>())) return false;
  }
  return true;
}

}  // namespace

Location LocationDictionary::initWithDictionary(const Json& dictionary,
                                                bool /*timeInMilliseconds*/) {
  Coordinate coordinate{0.0, 0.0};
  double horizontalAccuracy = -1.0;
  const auto latitude = presentValue(dictionary, kLatitude);
  const auto longitude = presentValue(dictionary, kLongitude);
  if (latitude && longitude) {
    coordinate = {*latitude, *longitude};
    horizontalAccuracy = presentValue(dictionary, kHorizontalAccuracy).value_or(0.0);
  }

  double altitude = 0.0;
  double verticalAccuracy = -1.0;
  if (const auto present = presentValue(dictionary, kAltitude)) {
    altitude = *present;
    verticalAccuracy = presentValue(dictionary, kVerticalAccuracy).value_or(-1.0);
  }

  return Location(coordinate, altitude, horizontalAccuracy, verticalAccuracy,
                  ParserUtils::doubleValue(dictionary, kCourse),
                  ParserUtils::doubleValue(dictionary, kSpeed),
                  Date(ParserUtils::doubleValue(dictionary, kTimestamp)));
}

Location LocationDictionary::initWithJSON(std::string_view text) {
  const Json parsed = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  return initWithDictionary(parsed.is_discarded() ? Json::object() : parsed, false);
}

Json LocationDictionary::dictionaryRepresentation(const Location& location) {
  Json dictionary = Json::object();
  ParserUtils::addToDictionary(dictionary, kLatitude, location.coordinate().latitude);
  ParserUtils::addToDictionary(dictionary, kLongitude, location.coordinate().longitude);
  ParserUtils::addToDictionary(dictionary, kTimestamp,
                               location.timestamp().timeIntervalSince1970());
  ParserUtils::addToDictionary(dictionary, kAltitude, location.altitude());
  ParserUtils::addToDictionary(dictionary, kCourse, location.course());
  ParserUtils::addToDictionary(dictionary, kSpeed, location.speed());
  ParserUtils::addToDictionary(dictionary, kHorizontalAccuracy, location.horizontalAccuracy());
  ParserUtils::addToDictionary(dictionary, kVerticalAccuracy, location.verticalAccuracy());
  return dictionary;
}

std::optional<std::string> LocationDictionary::JSONString(const Location& location) {
  const Json dictionary = dictionaryRepresentation(location);
  // The serialiser would quietly write an infinity as null, which reads back as a missing
  // member and so as a different location.
  if (!allFinite(dictionary)) return std::nullopt;
  return dictionary.dump(2);
}

}  // namespace trevalo
