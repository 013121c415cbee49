// The service endpoints of TRNetworkClient; the client's core is in TRNetworkClient.cpp.

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "UrlEncoding.h"
#include "json/LocationDictionary.h"
#include "json/ParserUtils.h"
#include "model/TRCachedVisit.h"
#include "networking/SessionRequestBuilder.h"
#include "networking/TRNetworkClient.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRSearchRequest.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"
#include "utils/TRUtils.h"
#include "vell/TRVellLocation.h"

namespace trevalo {

namespace {

// Radii below this count as "no radius": only such filters narrow venue resolution.
constexpr double kNoRadius = 0.001;

const char* const kPlainIdentifierRule =
    " must be letters, digits, \"-\", \".\", \"_\" and \"~\" only, and neither empty nor \".\" "
    "or \"..\"";

// A refusal reaches the caller the way an answer would: later, on the run loop.
void completeLater(TRNetworkClient::Completion complete, Error error) {
  platform::Platform::current().runLoop().post(
      [complete = std::move(complete), error = std::move(error)] {
        if (complete) complete(std::nullopt, error);
      });
}

std::optional<Json> optionalText(std::optional<std::string> text) {
  if (!text) return std::nullopt;
  return Json(std::move(*text));
}

std::optional<Json> deviceIdentifier() {
  return optionalText(TRUtils::IFA());
}

struct CoordinateText {
  std::string latitude;
  std::string longitude;
};

std::optional<CoordinateText> coordinateText(Coordinate coordinate) {
  auto latitude = UrlEncoding::decimal(coordinate.latitude);
  auto longitude = UrlEncoding::decimal(coordinate.longitude);
  if (!latitude || !longitude) return std::nullopt;
  return CoordinateText{std::move(*latitude), std::move(*longitude)};
}

Error notFiniteCoordinate() {
  return TRNetworkClient::invalidRequestError(
      "The latitude and longitude of a request must be finite numbers");
}

Error notPlain(const char* what) {
  return TRNetworkClient::invalidRequestError(std::string(what) + kPlainIdentifierRule);
}

// Percent-encoding leaves "/" and "?" alone, so text holding them, or a dot segment, would
// still name another path.
bool isSafeEncodedSegment(std::string_view text) {
  return !text.empty() && text != "." && text != ".." &&
         text.find_first_of("/?") == std::string_view::npos;
}

// The compact text of {"points": [each location's dictionaryRepresentation], <others>}, the
// same as building the whole object first and writing it. Writing each point as soon as it is
// made, while it is still in the cache, takes about a third off the time of a request of a
// hundred points. Raises Json::type_error for text that is not UTF-8.
std::string collectedPointsBody(const std::vector<std::shared_ptr<TRVellLocation>>& locations,
                                const Json& others) {
  std::string body = R"({"points":[)";
  bool first = true;
  for (const auto& location : locations) {
    if (!location) continue;
    if (!first) body += ',';
    first = false;
    body += location->dictionaryRepresentation().dump();
  }
  body += ']';
  for (const auto& [key, value] : others.items()) {
    body += ',';
    body += Json(key).dump();
    body += ':';
    body += value.dump();
  }
  body += '}';
  return body;
}

}  // namespace

Error TRNetworkClient::invalidRequestError(const std::string& description) {
  return Error(kErrorDomain, kInvalidRequestErrorCode,
               {{Error::kLocalizedDescriptionKey, description}});
}

// A body holding text that is not UTF-8 (a Wi-Fi name is raw bytes, say) cannot be written as
// JSON; that is reported to the caller like any other refusal rather than raised on whatever
// thread made the call.
void TRNetworkClient::sendJson(const std::string& url, const std::string& method, const Json& body,
                               Completion complete) const {
  platform::HttpRequest request;
  try {
    request = SessionRequestBuilder::instance()->getPostRequestPostObject(url, &body, method);
  } catch (const Exception& error) {
    completeLater(std::move(complete), invalidRequestError(error.reason()));
    return;
  }
  executeTaskWithRequest(std::move(request), std::move(complete));
}

void TRNetworkClient::sendGet(const std::string& url, Completion complete) const {
  executeTaskWithRequest(SessionRequestBuilder::instance()->getRequestWithUrl(url, "GET"),
                         std::move(complete));
}

void TRNetworkClient::reverseGeocodeLocation(const Location& location, Completion complete) const {
  const auto coordinate = coordinateText(location.coordinate());
  if (!coordinate) return completeLater(std::move(complete), notFiniteCoordinate());
  sendGet(hosts().serviceApi + "/v1/geocode/reverse_geocode?lat=" + coordinate->latitude +
              "&lng=" + coordinate->longitude + "&api_token=" + apiKey(),
          std::move(complete));
}

void TRNetworkClient::sendLastLocations(
    const std::vector<std::shared_ptr<TRVellLocation>>& locations,
    const std::optional<std::vector<std::shared_ptr<TRFilter>>>& filters,
    Completion complete) const {
  Json others = Json::object();
  ParserUtils::addToDictionary(others, "device_id", deviceIdentifier());
  ParserUtils::addToDictionary(
      others, "bundle_id",
      optionalText(platform::Platform::current().application().bundleIdentifier()));
  if (filters && !filters->empty()) {
    std::vector<std::shared_ptr<TRFilter>> kept;
    std::copy_if(filters->begin(), filters->end(), std::back_inserter(kept),
                 [](const auto& filter) { return filter && filter->radius < kNoRadius; });
    others["filter"] = TRFilter::toArray(kept);
  }
  std::string body;
  try {
    body = collectedPointsBody(locations, others);
  } catch (const Json::exception& error) {
    return completeLater(std::move(complete),
                         invalidRequestError(std::string("The request body cannot be written as "
                                                         "JSON: ") +
                                             error.what()));
  }
  executeTaskWithRequest(
      SessionRequestBuilder::instance()->getPostRequestPostString(
          hosts().serviceApi + "/v1/geocode/reverse_geocode?api_token=" + apiKey(), std::move(body),
          "POST"),
      std::move(complete));
}

void TRNetworkClient::searchForVenues(const TRSearchRequest& request, Completion complete) const {
  if (!request.location) {
    return completeLater(std::move(complete),
                         invalidRequestError("A venue search needs a location"));
  }
  const auto coordinate = coordinateText(request.location->coordinate());
  if (!coordinate) return completeLater(std::move(complete), notFiniteCoordinate());
  const auto radius = UrlEncoding::decimal(request.radius);
  if (!radius) {
    return completeLater(
        std::move(complete),
        invalidRequestError("The radius of a venue search must be a finite number"));
  }
  auto part = [](const char* key, const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::string();
    return UrlEncoding::percentEncodedForQuery(key + *text);
  };
  sendGet(hosts().serviceApi + "/v1/search/venues?api_token=" + apiKey() +
              "&lat=" + coordinate->latitude + "&lng=" + coordinate->longitude +
              "&radius=" + *radius + "&limit=" + std::to_string(request.limit) +
              part("&q=", request.query) + part("&category=", request.category),
          std::move(complete));
}

void TRNetworkClient::getPeopleAtVenue(const std::string& venueId, Completion complete) const {
  if (!UrlEncoding::isPlainIdentifier(venueId)) {
    return completeLater(std::move(complete), notPlain("A venue identifier"));
  }
  sendGet(hosts().peopleSearch + "/v1/venues/" + venueId + "/people?api_token=" + apiKey(),
          std::move(complete));
}

void TRNetworkClient::getPeopleNearby(Coordinate coordinate, Completion complete) const {
  const auto text = coordinateText(coordinate);
  if (!text) return completeLater(std::move(complete), notFiniteCoordinate());
  sendGet(hosts().serviceApi + "/v1/search/people/nearby?api_token=" + apiKey() +
              "&lat=" + text->latitude + "&lng=" + text->longitude,
          std::move(complete));
}

void TRNetworkClient::getPriorVisitsDeviceId(const std::string& deviceId,
                                             Completion complete) const {
  if (!UrlEncoding::isPlainIdentifier(deviceId)) {
    return completeLater(std::move(complete), notPlain("A device identifier"));
  }
  sendGet(
      hosts().serviceApi + "/v1/visit-data/visits?device_id=" + deviceId + "&api_token=" + apiKey(),
      std::move(complete));
}

void TRNetworkClient::getHomeWork(const std::string& deviceId, Completion complete) const {
  if (!UrlEncoding::isPlainIdentifier(deviceId)) {
    return completeLater(std::move(complete), notPlain("A device identifier"));
  }
  sendGet(hosts().serviceApi + "/v1/visit-data/homework?device_id=" + deviceId +
              "&api_token=" + apiKey(),
          std::move(complete));
}

void TRNetworkClient::updateUserValues(const Json& userValues, Completion complete) const {
  sendJson(hosts().serviceApi + "/v1/logging/userdata?api_token=" + apiKey(), "POST", userValues,
           std::move(complete));
}

void TRNetworkClient::logVenue(const Json& visit, Completion complete) const {
  sendJson(hosts().serviceApi + "/v1/logging/visit?api_token=" + apiKey(), "POST", visit,
           std::move(complete));
}

void TRNetworkClient::getGeofences(Coordinate coordinate,
                                   const std::vector<std::shared_ptr<TRFilter>>& filters,
                                   Completion complete) const {
  // JSON can hold neither NaN nor an infinity; the body would silently lose the coordinate.
  if (!coordinateText(coordinate)) return completeLater(std::move(complete), notFiniteCoordinate());
  Json body = Json::object();
  body["lat"] = coordinate.latitude;
  body["lng"] = coordinate.longitude;
  body["filter"] = TRFilter::toArray(filters);
  ParserUtils::addToDictionary(body, "device_id", deviceIdentifier());
  sendJson(hosts().serviceApi + "/v1/venues/geofences?api_token=" + apiKey(), "POST", body,
           std::move(complete));
}

void TRNetworkClient::sendLocations(const std::vector<std::shared_ptr<TRVellLocation>>& locations,
                                    const std::string& sessionId, Completion complete) const {
  if (sessionId.empty()) {
    return completeLater(std::move(complete),
                         invalidRequestError("A location recording needs a session identifier"));
  }
  Json entries = Json::array();
  for (const auto& location : locations) {
    if (location) entries.push_back(location->dictionaryRepresentationForTracemoor());
  }
  Json body = Json::object();
  body["session"] = sessionId;
  body["locations"] = std::move(entries);
  sendJson(hosts().recordingService + "/wicked_smaht", "POST", body, std::move(complete));
}

void TRNetworkClient::sendVisitToTracemoor(const std::shared_ptr<const TRCachedVisit>& visit,
                                           const std::string& session, Completion complete) const {
  // Refused rather than dropped: a caller waiting for its completion would wait for ever.
  if (!visit || session.empty()) {
    return completeLater(
        std::move(complete),
        invalidRequestError("A visit recording needs a visit and a session identifier"));
  }
  Json entry = Json::object();
  entry["visit"] = visit->dictionaryRepresentation();
  Json body = Json::object();
  body["session"] = session;
  body["visits"] = Json::array({std::move(entry)});
  sendJson(hosts().recordingService + "/wicked_smaht", "POST", body, std::move(complete));
}

void TRNetworkClient::fetchLocationsFromTracemoor(const std::string& sessionId, Date start,
                                                  Date end, LocationsCompletion completion) const {
  if (!UrlEncoding::isPlainIdentifier(sessionId)) {
    return completeLater(
        [completion = std::move(completion)](std::optional<Json>, std::optional<Error> error) {
          if (completion) completion({}, std::move(error));
        },
        notPlain("A recording session identifier"));
  }
  sendGet(hosts().recordingService + "/clam_chowdah/" + sessionId,
          [start, end, completion = std::move(completion)](std::optional<Json> value,
                                                           std::optional<Error>) {
            std::vector<Location> kept;
            const Json* entries = value ? ParserUtils::array(*value, "locations") : nullptr;
            if (entries) {
              for (const Json& entry : *entries) {
                // An entry without a time of its own is at no instant of the window.
                if (!entry.is_object()) continue;
                const auto timestamp = entry.find("timestamp");
                if (timestamp == entry.end() || !timestamp->is_number()) continue;
                const Date instant(timestamp->get<double>());
                if (start < instant && instant < end) {
                  kept.push_back(LocationDictionary::initWithDictionary(entry, false));
                }
              }
            }
            if (completion) completion(std::move(kept), std::nullopt);
          });
}

void TRNetworkClient::sendFireBase(const std::string& message, const std::string& time,
                                   const std::string& devId, Completion complete) const {
  std::string key = time;
  std::replace(key.begin(), key.end(), ':', '_');
  if (!isSafeEncodedSegment(devId) || !isSafeEncodedSegment(key)) {
    return completeLater(std::move(complete),
                         invalidRequestError("The device identifier and time of an event log "
                                             "must not be empty, \".\" or \"..\", nor hold "
                                             "\"/\" or \"?\""));
  }
  std::string body;
  try {
    body = Json(message).dump();
  } catch (const Json::type_error& error) {
    return completeLater(std::move(complete),
                         invalidRequestError(std::string("The event log message cannot be "
                                                         "written as JSON: ") +
                                             error.what()));
  }
  const std::string url = hosts().eventLogStore +
                          UrlEncoding::percentEncodedForQuery("/" + devId + "/" + key + ".json");
  executeTaskWithRequest(
      SessionRequestBuilder::instance()->getPostRequestPostString(url, std::move(body), "PUT"),
      std::move(complete));
}

}  // namespace trevalo
