#include "networking/TRNetworkClient.h"

#include <atomic>
#include <nlohmann/json.hpp>
#include <utility>

#include "UrlParts.h"
#include "networking/SessionResponseChecker.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/HttpTransport.h"
#include "trevalo/platform/Platform.h"

namespace trevalo {

namespace {

// One request between its send and its completion. The transport holds it through the
// completion it was given; whichever comes first, the transport's answer or the transport
// letting go of the completion unanswered, reaches the caller, once, on the run loop.
class PendingCall {
 public:
  PendingCall(std::shared_ptr<platform::RunLoop> runLoop,
              std::shared_ptr<platform::Application> application,
              TRNetworkClient::Completion completion)
      : runLoop_(std::move(runLoop)),
        application_(std::move(application)),
        completion_(std::move(completion)) {}
  PendingCall(const PendingCall&) = delete;
  PendingCall& operator=(const PendingCall&) = delete;

  ~PendingCall() {
    if (!withdrawn_.load(std::memory_order_acquire))
      answer(std::nullopt, platform::HttpTransport::cancelledError());
  }

  void answer(std::optional<platform::HttpResponse> response, std::optional<Error> sessionError) {
    if (answered_.exchange(true, std::memory_order_acq_rel)) return;
    // Parsing happens here, on the transport's thread, to keep it off the run loop.
    std::optional<Error> error;
    std::optional<Json> result = SessionResponseChecker::checkData(
        response ? &response->body : nullptr, response ? &*response : nullptr,
        sessionError ? &*sessionError : nullptr, &error);
    runLoop_->post([application = application_, completion = std::move(completion_),
                    result = std::move(result), error = std::move(error)]() mutable {
      application->setNetworkActivityIndicatorVisible(false);
      if (!completion) return;
      if (error) {
        completion(std::nullopt, std::move(error));
      } else {
        completion(std::move(result), std::nullopt);
      }
    });
  }

  // For a send that failed by raising: the caller gets the exception, not a completion.
  void withdraw() noexcept { withdrawn_.store(true, std::memory_order_release); }

 private:
  std::shared_ptr<platform::RunLoop> runLoop_;
  std::shared_ptr<platform::Application> application_;
  TRNetworkClient::Completion completion_;
  std::atomic<bool> answered_{false};
  std::atomic<bool> withdrawn_{false};
};

}  // namespace

std::shared_ptr<TRNetworkClient> TRNetworkClient::instance() {
  static const auto shared = std::make_shared<TRNetworkClient>();
  return shared;
}

TRNetworkClient::TRNetworkClient() : TRNetworkClient(Hosts{}) {}

TRNetworkClient::TRNetworkClient(Hosts hosts) : hosts_(validated(std::move(hosts))) {}

TRNetworkClient::Hosts TRNetworkClient::validated(Hosts hosts) {
  for (const std::string* url :
       {&hosts.serviceApi, &hosts.peopleSearch, &hosts.recordingService, &hosts.eventLogStore}) {
    const auto parts = UrlParts::parse(*url);
    if (!parts || (parts->scheme != "https" && parts->scheme != "http")) {
      throw Exception(Exception::kInvalidArgument,
                      "A server base URL must be an http or https URL with a host: " + *url);
    }
  }
  return hosts;
}

std::string TRNetworkClient::apiKey() const {
  const std::lock_guard lock(mutex_);
  return apiKey_;
}

void TRNetworkClient::setApiKey(std::string apiKey) {
  const std::lock_guard lock(mutex_);
  apiKey_ = std::move(apiKey);
}

TRNetworkClient::Hosts TRNetworkClient::hosts() const {
  const std::lock_guard lock(mutex_);
  return hosts_;
}

void TRNetworkClient::setHosts(Hosts hosts) {
  Hosts checked = validated(std::move(hosts));
  const std::lock_guard lock(mutex_);
  hosts_ = std::move(checked);
}

bool TRNetworkClient::isEventLogStoreRequest(const std::string& url) const {
  // The request's own host must be the store's: a store name elsewhere in the URL (in a
  // query, say) does not make a request one for the store.
  const auto requested = UrlParts::parse(url);
  const auto store = UrlParts::parse(hosts().eventLogStore);
  return requested && store && requested->host == store->host;
}

void TRNetworkClient::executeTaskWithRequest(platform::HttpRequest request,
                                             Completion completion) const {
  if (apiKey().empty() && !isEventLogStoreRequest(request.url)) {
    throw Exception(kMissingApiKeyException);
  }
  const auto platform = platform::Platform::currentShared();
  const auto& services = platform->services();
  const auto transport = platform->httpTransport();
  services.application->setNetworkActivityIndicatorVisible(true);
  auto call =
      std::make_shared<PendingCall>(services.runLoop, services.application, std::move(completion));
  try {
    transport->send(std::move(request), [call](std::optional<platform::HttpResponse> response,
                                               std::optional<Error> error) {
      call->answer(std::move(response), std::move(error));
    });
  } catch (...) {
    call->withdraw();
    services.application->setNetworkActivityIndicatorVisible(false);
    throw;
  }
}

}  // namespace trevalo
