#pragma once

#include <memory>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Bytes.h"
#include "trevalo/platform/HttpRequest.h"

namespace trevalo {

// Makes the requests the SDK sends: the URL and method as given, a 40-second timeout, and for
// requests with a body the body bytes with their "Content-Type" and "Content-Length" (the body's
// length in bytes). Stateless; the shared instance and any other are interchangeable.
class SessionRequestBuilder {
 public:
  static constexpr double kTimeoutInterval = 40.0;

  static std::shared_ptr<SessionRequestBuilder> instance();

  // The URL text is taken as it is; a URL that cannot be parsed fails when the request is sent.
  platform::HttpRequest getRequestWithUrl(const std::string& url, const std::string& type) const;
  // `serverUrl` directly followed by `component`: no separator is added or removed.
  platform::HttpRequest requestWithUrlComponent(const std::string& component,
                                                const std::string& type,
                                                const std::string& serverUrl) const;
  platform::HttpRequest requestGetWithComponent(const std::string& component,
                                                const std::string& serverUrl) const;

  // A JSON body: the compact serialisation of `postObject` ("Content-Type" application/json);
  // no body (and "Content-Length" 0) when it is null. A value that cannot be written as JSON
  // (a string that is not UTF-8) is a programming error: an invalid-argument Exception.
  platform::HttpRequest getPostRequestPostObject(const std::string& url, const Json* postObject,
                                                 const std::string& method) const;
  // The UTF-8 bytes of `postString` as the body, with the JSON content type.
  platform::HttpRequest getPostRequestPostString(const std::string& url,
                                                 const std::optional<std::string>& postString,
                                                 const std::string& method) const;
  // `serverUrl` + `component`, with `text` as a text/plain body.
  platform::HttpRequest getPostRequestText(const std::string& component, const std::string& text,
                                           const std::string& method,
                                           const std::string& serverUrl) const;
  // `data` as an image/jpeg body.
  platform::HttpRequest getRawPostRequest(const std::string& url, const platform::Bytes& data,
                                          const std::string& method) const;
};

}  // namespace trevalo
