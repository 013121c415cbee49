#include "trevalo/platform/linux/CurlHttpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace trevalo::platform {

namespace {

constexpr int kPollMilliseconds = 1000;
constexpr long kMaximumRedirects = 10;
// Far beyond any sensible timeout, and within what curl's long milliseconds can hold.
constexpr double kLongestTimeoutMilliseconds = 1e12;

void initialiseCurlOnce() {
  static std::once_flag once;
  // Never undone: other code in the process may use curl too, and global cleanup at exit
  // would race with it.
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const noexcept { curl_multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         HttpHeaders::namesEqual(text.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

// Methods whose request may go out twice without doing anything twice.
bool isSafeToResend(std::string_view method) {
  return method == "GET" || method == "HEAD" || method == "OPTIONS" || method == "TRACE";
}

Error curlError(CURLcode code, const char* detail) {
  std::string message = (detail && *detail) ? std::string(detail) : curl_easy_strerror(code);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  return Error(HttpTransport::kErrorDomain, static_cast<std::int64_t>(code),
               {{Error::kLocalizedDescriptionKey, std::move(message)}});
}

struct Outcome {
  HttpTransport::Completion completion;
  std::optional<HttpResponse> response;
  std::optional<Error> error;
};

// Completions are the caller's code: one that throws must not end the transport's thread
// and with it the completions of every other request.
void deliver(std::vector<Outcome>& outcomes) {
  for (auto& outcome : outcomes) {
    if (!outcome.completion) continue;
    try {
      outcome.completion(std::move(outcome.response), std::move(outcome.error));
    } catch (...) {
    }
  }
  outcomes.clear();
}

// One request on the wire. Everything curl points into (the body, the header list, the error
// buffer) lives here until the easy handle is gone.
struct Transfer {
  HttpRequest request;
  HttpTransport::Completion completion;
  Easy easy;
  HeaderList headerList;
  HttpResponse response;
  std::array<char, CURL_ERROR_SIZE> errorBuffer{};
  std::size_t maximumResponseBytes = 0;
  std::string certificateAuthorityFile;
  bool responseTooLarge = false;

  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    auto& body = transfer.response.body;
    if (length >
        transfer.maximumResponseBytes - std::min(body.size(), transfer.maximumResponseBytes)) {
      transfer.responseTooLarge = true;
      return 0;  // aborts the transfer
    }
    body.insert(body.end(), data, data + length);
    return length;
  }

  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (startsWithIgnoringCase(line, "HTTP/")) {
      // A new status line starts the headers of the next response (after a redirect or an
      // interim 100 response); only the final response's fields are kept.
      transfer.response.headers = HttpHeaders();
      return length;
    }
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0) {
      transfer.response.headers.addValue(std::string(trim(line.substr(colon + 1))),
                                         trim(line.substr(0, colon)));
    }
    return length;
  }

  // Sets the easy handle up; an error when the request cannot be sent.
  std::optional<Error> prepare() {
    if (const auto reason = HttpTransport::invalidRequestReason(request)) {
      return HttpTransport::invalidRequestError(*reason);
    }
    easy.reset(curl_easy_init());
    if (!easy) return curlError(CURLE_OUT_OF_MEMORY, nullptr);
    CURL* handle = easy.get();
    const bool secure = startsWithIgnoringCase(request.url, "https:");
    const double milliseconds =
        std::min(request.timeoutInterval * 1000.0, kLongestTimeoutMilliseconds);

    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer.data());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    // A request that carries work (anything but a plain GET or HEAD) takes its answer from the
    // server it was sent to. Followed, its redirect would either send the body on to another
    // server or turn the request into a GET whose answer passes for the request's success.
    const bool reads =
        !request.body && (request.httpMethod == "GET" || request.httpMethod == "HEAD");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, reads ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaximumRedirects);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!certificateAuthorityFile.empty())
      curl_easy_setopt(handle, CURLOPT_CAINFO, certificateAuthorityFile.c_str());
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, std::max(1L, static_cast<long>(milliseconds)));
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    // A body announced larger than the cap is refused before any of it is read.
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::size_t>(
                         maximumResponseBytes,
                         static_cast<std::size_t>(std::numeric_limits<curl_off_t>::max()))));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle, CURLOPT_PRIVATE, this);
    if (curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str()) != CURLE_OK) {
      return curlError(CURLE_URL_MALFORMAT, nullptr);
    }
    setMethodAndBody(handle);
    // curl sends a request again, by itself, when the connection it reused turns out to have
    // been closed before an answer came; the server may have acted on the first one all the
    // same. A POST or a PUT would arrive twice, and its failure would never reach the caller,
    // whose own retry rule must decide. Such requests go out on a connection of their own,
    // where curl does not resend.
    if (!isSafeToResend(request.httpMethod)) curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    return setHeaders(handle);
  }

  void setMethodAndBody(CURL* handle) {
    static const char kEmpty[] = "";
    const std::string& method = request.httpMethod;
    const bool sendsBody =
        request.body.has_value() || method == "POST" || method == "PUT" || method == "PATCH";
    if (sendsBody) {
      // An empty body still goes out with "Content-Length: 0", which servers expect of a POST.
      const Bytes* body = request.body ? &*request.body : nullptr;
      const bool empty = !body || body->empty();
      curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(empty ? 0 : body->size()));
      curl_easy_setopt(handle, CURLOPT_POSTFIELDS,
                       empty ? kEmpty : reinterpret_cast<const char*>(body->data()));
      if (method != "POST") curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method == "GET") {
      curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
      curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    } else {
      curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
  }

  std::optional<Error> setHeaders(CURL* handle) {
    bool expectGiven = false;
    bool contentTypeGiven = false;
    auto append = [this](const std::string& line) {
      curl_slist* extended = curl_slist_append(headerList.get(), line.c_str());
      if (!extended) return false;
      (void)headerList.release();
      headerList.reset(extended);
      return true;
    };
    for (const auto& [name, value] : request.headers.fields()) {
      // The length on the wire is always the body's own (see HttpRequest).
      if (HttpHeaders::namesEqual(name, "Content-Length")) continue;
      if (HttpHeaders::namesEqual(name, "Expect")) expectGiven = true;
      if (HttpHeaders::namesEqual(name, "Content-Type")) contentTypeGiven = true;
      // curl sends "Name;" as a field with an empty value; "Name:" would remove the field.
      const std::string line = value.empty() ? name + ";" : name + ": " + value;
      if (!append(line)) return curlError(CURLE_OUT_OF_MEMORY, nullptr);
    }
    // Waiting for "100 Continue" before a large body only adds a round trip.
    if (!expectGiven && !append("Expect:")) return curlError(CURLE_OUT_OF_MEMORY, nullptr);
    // curl would label a body as a form otherwise; a body goes out with the type it was given.
    if (!contentTypeGiven && !append("Content-Type:")) {
      return curlError(CURLE_OUT_OF_MEMORY, nullptr);
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());
    return std::nullopt;
  }

  Outcome finish(CURLcode result) {
    Outcome outcome{std::move(completion), std::nullopt, std::nullopt};
    if (result == CURLE_OK) {
      long status = 0;
      curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
      response.statusCode = static_cast<int>(status);
      outcome.response = std::move(response);
    } else if (responseTooLarge || result == CURLE_FILESIZE_EXCEEDED) {
      const std::string detail =
          "The response body is larger than " + std::to_string(maximumResponseBytes) + " bytes";
      outcome.error = curlError(CURLE_FILESIZE_EXCEEDED, detail.c_str());
    } else {
      outcome.error = curlError(result, errorBuffer.data());
    }
    return outcome;
  }
};

struct Arrival {
  HttpRequest request;
  HttpTransport::Completion completion;
};

}  // namespace

struct CurlHttpTransport::Impl {
  Options options;
  Multi multi;
  std::thread thread;

  mutable std::mutex mutex;
  std::vector<Arrival> arrivals;  // sent, not yet taken up by the thread
  bool stopping = false;
  std::atomic<std::size_t> pending{0};

  // Touched by the transport's thread only.
  std::unordered_map<CURL*, std::unique_ptr<Transfer>> active;

  void start(Arrival arrival, std::vector<Outcome>& outcomes) {
    auto transfer = std::make_unique<Transfer>();
    transfer->request = std::move(arrival.request);
    transfer->completion = std::move(arrival.completion);
    transfer->maximumResponseBytes = options.maximumResponseBytes;
    transfer->certificateAuthorityFile = options.certificateAuthorityFile;
    if (auto error = transfer->prepare()) {
      outcomes.push_back(Outcome{std::move(transfer->completion), std::nullopt, std::move(error)});
      return;
    }
    CURL* handle = transfer->easy.get();
    if (const CURLMcode code = curl_multi_add_handle(multi.get(), handle); code != CURLM_OK) {
      outcomes.push_back(Outcome{std::move(transfer->completion), std::nullopt,
                                 curlError(CURLE_FAILED_INIT, curl_multi_strerror(code))});
      return;
    }
    active.emplace(handle, std::move(transfer));
  }

  void collectFinished(std::vector<Outcome>& outcomes) {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* handle = message->easy_handle;
      const CURLcode result = message->data.result;
      const auto it = active.find(handle);
      if (it == active.end()) continue;
      curl_multi_remove_handle(multi.get(), handle);
      outcomes.push_back(it->second->finish(result));
      active.erase(it);
    }
  }

  void cancelActive(std::vector<Outcome>& outcomes) {
    for (auto& [handle, transfer] : active) {
      curl_multi_remove_handle(multi.get(), handle);
      outcomes.push_back(Outcome{std::move(transfer->completion), std::nullopt, cancelledError()});
    }
    active.clear();
  }

  void completeAll(std::vector<Outcome>& outcomes) {
    const std::size_t count = outcomes.size();
    deliver(outcomes);
    pending.fetch_sub(count, std::memory_order_acq_rel);
  }

  void run() {
    std::vector<Outcome> outcomes;
    for (;;) {
      std::vector<Arrival> arrived;
      bool stop = false;
      {
        const std::lock_guard lock(mutex);
        arrived.swap(arrivals);
        stop = stopping;
      }
      for (auto& arrival : arrived) {
        if (stop) {
          outcomes.push_back(
              Outcome{std::move(arrival.completion), std::nullopt, cancelledError()});
        } else {
          start(std::move(arrival), outcomes);
        }
      }
      if (stop) {
        cancelActive(outcomes);
        completeAll(outcomes);
        return;
      }
      int running = 0;
      curl_multi_perform(multi.get(), &running);
      collectFinished(outcomes);
      completeAll(outcomes);
      curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
    }
  }

  // Returns whether the caller must join the thread (false when called on it).
  bool requestStop() {
    {
      const std::lock_guard lock(mutex);
      if (stopping) return false;
      stopping = true;
    }
    curl_multi_wakeup(multi.get());
    return true;
  }
};

CurlHttpTransport::CurlHttpTransport() : CurlHttpTransport(Options{}) {}

CurlHttpTransport::CurlHttpTransport(Options options) : impl_(std::make_shared<Impl>()) {
  initialiseCurlOnce();
  impl_->options = options;
  impl_->multi.reset(curl_multi_init());
  if (!impl_->multi) throw std::bad_alloc();
  curl_multi_setopt(impl_->multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS,
                    std::max(1L, options.maximumConnectionsPerHost));
  // The thread keeps the state alive, so a transport released from one of its own
  // completions can let the thread finish on its own.
  impl_->thread = std::thread([impl = impl_] { impl->run(); });
}

CurlHttpTransport::~CurlHttpTransport() {
  shutdown();
}

void CurlHttpTransport::shutdown() {
  impl_->requestStop();
  if (!impl_->thread.joinable()) return;
  if (impl_->thread.get_id() == std::this_thread::get_id()) {
    impl_->thread.detach();
  } else {
    impl_->thread.join();
  }
}

void CurlHttpTransport::send(HttpRequest request, Completion completion) {
  {
    const std::lock_guard lock(impl_->mutex);
    if (!impl_->stopping) {
      impl_->pending.fetch_add(1, std::memory_order_acq_rel);
      impl_->arrivals.push_back(Arrival{std::move(request), std::move(completion)});
      completion = nullptr;
    }
  }
  if (completion) {
    completion(std::nullopt, cancelledError());
    return;
  }
  curl_multi_wakeup(impl_->multi.get());
}

std::size_t CurlHttpTransport::pendingCount() const {
  return impl_->pending.load(std::memory_order_acquire);
}

}  // namespace trevalo::platform
