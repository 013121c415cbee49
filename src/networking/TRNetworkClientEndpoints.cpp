// The service endpoints of TRNetworkClient; the client's core is in TRNetworkClient.cpp.

#include <nlohmann/json.hpp>
#include <utility>

#include "UrlEncoding.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/networking/ParserUtils.h"
#include "trevalo/networking/SessionRequestBuilder.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/utils/TRUtils.h"
#include "trevalo/vell/TRVellLocation.h"

namespace trevalo {

namespace {

// Radii below this count as "no radius": only such filters narrow venue resolution.
constexpr double kNoRadius = 0.001;

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

std::string TRNetworkClient::serviceUrl(const std::string& path) const {
  return hosts().serviceApi + path + "api_token=" + apiKey();
}

void TRNetworkClient::sendLastLocations(
    const std::vector<std::shared_ptr<TRVellLocation>>& locations,
    const std::optional<std::vector<std::shared_ptr<TRFilter>>>& filters,
    Completion complete) const {
  Json points = Json::array();
  for (const auto& location : locations) {
    if (location) points.push_back(location->dictionaryRepresentation());
  }
  Json body = Json::object();
  body["points"] = std::move(points);
  ParserUtils::addToDictionary(body, "device_id", optionalText(TRUtils::IFA()));
  ParserUtils::addToDictionary(
      body, "bundle_id",
      optionalText(platform::Platform::current().application().bundleIdentifier()));
  if (filters && !filters->empty()) {
    std::vector<std::shared_ptr<TRFilter>> kept;
    for (const auto& filter : *filters) {
      if (filter && filter->radius < kNoRadius) kept.push_back(filter);
    }
    body["filter"] = TRFilter::toArray(kept);
  }
  sendJson(serviceUrl("/v1/geocode/reverse_geocode?"), "POST", body, std::move(complete));
}

void TRNetworkClient::logVenue(const Json& visit, Completion complete) const {
  sendJson(serviceUrl("/v1/logging/visit?"), "POST", visit, std::move(complete));
}

}  // namespace trevalo
