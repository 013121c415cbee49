#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/HttpRequest.h"

namespace trevalo {

// The client of the SDK's servers. It holds the application's API token and the base URLs of
// the four servers, and runs each request through the installed platform's HTTP transport and
// the response checker to a completion on the platform's run loop (the SDK's main thread).
// Endpoints build a request (SessionRequestBuilder) from `hosts()` and `apiKey()` and hand it
// to `executeTaskWithRequest`. Safe to use from any thread.
class TRNetworkClient {
 public:
  using Completion = std::function<void(std::optional<Json>, std::optional<Error>)>;

  // Base URLs without a trailing slash: endpoint paths, which start with one, are appended.
  struct Hosts {
    std::string serviceApi = "https://api.trevalo.io";
    std::string peopleSearch = "https://people.trevalo.io";
    std::string recordingService = "https://recording.trevalo.io";
    // The JSON store of debug messages: the one server reachable without a token.
    std::string eventLogStore = "https://events.trevalo.io";

    bool operator==(const Hosts&) const = default;
  };

  // The name of the Exception raised for a request sent before the token is set.
  static constexpr const char* kMissingApiKeyException =
      "You must start location updates first. Please call - (void)startWithApiKey:(NSString "
      "*)apiKey delegate:(NSObject <TrevaloDelegate> *)delegate first";

  // The process-wide client, made on first use.
  static std::shared_ptr<TRNetworkClient> instance();

  TRNetworkClient();
  // Every base URL must be an http or https URL with a host; otherwise an invalid-argument
  // Exception.
  explicit TRNetworkClient(Hosts hosts);
  TRNetworkClient(const TRNetworkClient&) = delete;
  TRNetworkClient& operator=(const TRNetworkClient&) = delete;

  // Empty until set.
  std::string apiKey() const;
  void setApiKey(std::string apiKey);

  Hosts hosts() const;
  // Validated as in the constructor; the old hosts stay when the new ones are refused.
  void setHosts(Hosts hosts);

  // Sends `request` and calls `completion` exactly once, on the run loop, with the parsed JSON
  // value or nothing and an error or nothing (the response checker's rules). Without a token,
  // a request to any server but the event-log store raises the kMissingApiKeyException
  // Exception (as its name) before anything is sent. The application's network-activity
  // indicator is on from the send until a completion.
  void executeTaskWithRequest(platform::HttpRequest request, Completion completion) const;

 private:
  static Hosts validated(Hosts hosts);
  bool isEventLogStoreRequest(const std::string& url) const;

  mutable std::mutex mutex_;
  std::string apiKey_;
  Hosts hosts_;
};

}  // namespace trevalo
