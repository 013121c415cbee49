#include "platform/linux/HttpGeocoder.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "TrevaloVersion.h"
#include "platform/TextFormat.h"
#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

namespace {

std::optional<std::string> text(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  auto value = found->get<std::string>();
  if (value.empty()) return std::nullopt;
  return value;
}

// The first of `keys` that `object` has as a non-empty text.
std::optional<std::string> firstText(const Json& object, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (auto value = text(object, key)) return value;
  }
  return std::nullopt;
}

// The format writes coordinates as texts ("48.8566"); numbers are taken too.
std::optional<double> degrees(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) return std::nullopt;
  if (found->is_number()) return found->get<double>();
  if (!found->is_string()) return std::nullopt;
  const auto& value = found->get_ref<const std::string&>();
  double result = 0.0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
  if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(result)) {
    return std::nullopt;
  }
  return result;
}

Error networkError(const std::string& reason) {
  return Error(Geocoder::kErrorDomain, Geocoder::kErrorNetwork,
               {{Error::kLocalizedDescriptionKey, "The geocoding service failed: " + reason}});
}

Error invalidAnswerError() {
  return Error(Geocoder::kErrorDomain, Geocoder::kErrorInvalidAnswer,
               {{Error::kLocalizedDescriptionKey,
                 "The geocoding service answered something that is not a geocoding answer"}});
}

}  // namespace

HttpGeocoder::HttpGeocoder(std::shared_ptr<RunLoop> runLoop,
                           std::shared_ptr<HttpTransport> transport, std::string baseUrl)
    : runLoop_(std::move(runLoop)), transport_(std::move(transport)), baseUrl_(std::move(baseUrl)) {
  if (!runLoop_ || !transport_ || baseUrl_.empty()) {
    throw Exception(Exception::kInvalidArgument,
                    "the geocoder needs a run loop, a transport and a base URL");
  }
}

std::string HttpGeocoder::requestUrl(const std::string& baseUrl, const Location& location) {
  std::string url = baseUrl;
  while (!url.empty() && url.back() == '/')
    url.pop_back();
  return url + "/reverse?format=jsonv2&lat=" + shortestText(location.coordinate().latitude) +
         "&lon=" + shortestText(location.coordinate().longitude);
}

std::optional<std::vector<Placemark>> HttpGeocoder::placemarksFromAnswer(const Json& answer,
                                                                         const Location& asked) {
  if (!answer.is_object()) return std::nullopt;
  if (answer.contains("error")) return std::vector<Placemark>{};
  static const Json kNoAddress = Json::object();
  const auto found = answer.find("address");
  const Json& address = found != answer.end() && found->is_object() ? *found : kNoAddress;

  Placemark placemark;
  placemark.thoroughfare = firstText(address, {"road", "pedestrian", "footway", "path"});
  placemark.subThoroughfare = text(address, "house_number");
  placemark.name = text(answer, "name");
  if (!placemark.name && placemark.thoroughfare) {
    placemark.name = placemark.subThoroughfare
                         ? *placemark.subThoroughfare + " " + *placemark.thoroughfare
                         : *placemark.thoroughfare;
  }
  const auto latitude = degrees(answer, "lat");
  const auto longitude = degrees(answer, "lon");
  const Coordinate where = latitude && longitude && Coordinate{*latitude, *longitude}.isValid()
                               ? Coordinate{*latitude, *longitude}
                               : asked.coordinate();
  placemark.location = Location(where, 0.0, 0.0, -1.0, -1.0, -1.0, asked.timestamp());
  placemark.country = text(address, "country");
  placemark.locality = firstText(address, {"city", "town", "village", "hamlet", "municipality"});
  if (auto code = text(address, "country_code")) {
    for (auto& c : *code)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    placemark.ISOcountryCode = std::move(code);
  }
  placemark.postalCode = text(address, "postcode");
  return std::vector<Placemark>{std::move(placemark)};
}

void HttpGeocoder::reverseGeocodeLocation(const Location& location,
                                          CompletionHandler completionHandler) {
  if (!completionHandler) {
    throw Exception(Exception::kInvalidArgument, "the geocoder needs a completion handler");
  }
  using Answer = std::pair<std::optional<std::vector<Placemark>>, std::optional<Error>>;
  // The answer goes out on the run loop whatever thread the transport completes on.
  auto answer = [runLoop = runLoop_, handler = std::move(completionHandler)](Answer result) {
    runLoop->post([handler, result = std::move(result)] { handler(result.first, result.second); });
  };
  if (!location.coordinate().isValid()) {
    answer({std::vector<Placemark>{}, std::nullopt});
    return;
  }

  HttpRequest request;
  request.url = requestUrl(baseUrl_, location);
  request.headers.setValue("application/json", "Accept");
  request.headers.setValue(std::string("Trevalo/") + detail::kVersionText, "User-Agent");
  request.timeoutInterval = kRequestTimeoutSeconds;
  transport_->send(std::move(request), [answer = std::move(answer), location](
                                           std::optional<HttpResponse> response,
                                           std::optional<Error> error) {
    if (!response) {
      answer({std::nullopt, networkError(error ? error->localizedDescription() : "no answer")});
      return;
    }
    if (response->statusCode < 200 || response->statusCode > 299) {
      answer({std::nullopt, networkError("HTTP status " + std::to_string(response->statusCode))});
      return;
    }
    const auto body = Json::parse(response->body.begin(), response->body.end(), nullptr, false);
    auto placemarks = placemarksFromAnswer(body, location);
    if (!placemarks) {
      answer({std::nullopt, invalidAnswerError()});
      return;
    }
    answer({std::move(placemarks), std::nullopt});
  });
}

}  // namespace trevalo::platform
