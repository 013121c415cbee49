#include "networking/SessionRequestBuilder.h"

#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "trevalo/platform/Exception.h"

namespace trevalo {

namespace {

platform::HttpRequest withBody(platform::HttpRequest request, std::optional<platform::Bytes> body,
                               const char* contentType) {
  const std::size_t length = body ? body->size() : 0;
  request.body = std::move(body);
  request.headers.setValue(contentType, "Content-Type");
  request.headers.setValue(std::to_string(length), "Content-Length");
  return request;
}

platform::Bytes bytesOf(std::string_view text) {
  return platform::Bytes(text.begin(), text.end());
}

}  // namespace

std::shared_ptr<SessionRequestBuilder> SessionRequestBuilder::instance() {
  static const auto shared = std::make_shared<SessionRequestBuilder>();
  return shared;
}

platform::HttpRequest SessionRequestBuilder::getRequestWithUrl(const std::string& url,
                                                               const std::string& type) const {
  platform::HttpRequest request;
  request.url = url;
  request.httpMethod = type;
  request.timeoutInterval = kTimeoutInterval;
  return request;
}

platform::HttpRequest SessionRequestBuilder::requestWithUrlComponent(
    const std::string& component, const std::string& type, const std::string& serverUrl) const {
  return getRequestWithUrl(serverUrl + component, type);
}

platform::HttpRequest SessionRequestBuilder::requestGetWithComponent(
    const std::string& component, const std::string& serverUrl) const {
  return requestWithUrlComponent(component, "GET", serverUrl);
}

platform::HttpRequest SessionRequestBuilder::getPostRequestPostObject(
    const std::string& url, const Json* postObject, const std::string& method) const {
  std::optional<platform::Bytes> body;
  if (postObject) {
    try {
      body = bytesOf(postObject->dump());
    } catch (const Json::type_error& error) {
      throw Exception(Exception::kInvalidArgument,
                      std::string("The request body cannot be written as JSON: ") + error.what());
    }
  }
  return withBody(getRequestWithUrl(url, method), std::move(body), "application/json");
}

platform::HttpRequest SessionRequestBuilder::getPostRequestPostString(
    const std::string& url, const std::optional<std::string>& postString,
    const std::string& method) const {
  std::optional<platform::Bytes> body;
  if (postString) body = bytesOf(*postString);
  return withBody(getRequestWithUrl(url, method), std::move(body), "application/json");
}

platform::HttpRequest SessionRequestBuilder::getPostRequestText(
    const std::string& component, const std::string& text, const std::string& method,
    const std::string& serverUrl) const {
  return withBody(requestWithUrlComponent(component, method, serverUrl), bytesOf(text),
                  "text/plain");
}

platform::HttpRequest SessionRequestBuilder::getRawPostRequest(const std::string& url,
                                                               const platform::Bytes& data,
                                                               const std::string& method) const {
  return withBody(getRequestWithUrl(url, method), data, "image/jpeg");
}

}  // namespace trevalo
