#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "trevalo/platform/HttpTransport.h"

namespace trevalo::platform {

// The production transport, on libcurl's multi interface: one thread of its own carries every
// request in flight. HTTPS always verifies the server's certificate chain and host name;
// only http and https URLs are accepted. Redirects of GET and HEAD requests without a body are
// followed (at most ten) without leaving https once a request started there; any other request
// gets the redirect as its response. Completions run on the transport's thread.
//
// Only requests that are safe to repeat (GET, HEAD, OPTIONS, TRACE) reuse open connections and
// may be resent by curl when a reused connection turns out to have closed. Every other request
// (a POST, a PUT) goes out once, on a fresh connection: when that connection fails before the
// answer, the caller gets the error and decides whether to try again.
//
// Shutting down (explicitly or by destruction) completes every request that is waiting or in
// flight with the cancellation error before it returns; a request sent after that completes
// at once, on the sending thread, with the same error.
class CurlHttpTransport final : public HttpTransport {
 public:
  struct Options {
    // A response body larger than this fails the request instead of exhausting memory; one
    // announced larger fails it before any of it is read.
    std::size_t maximumResponseBytes = std::size_t{64} * 1024 * 1024;
    // Connections open to one server at a time; further requests to it wait their turn, so a
    // burst of requests neither floods the server nor overruns its accept queue.
    long maximumConnectionsPerHost = 6;
    // A PEM file of the certificate authorities to trust instead of the system's, for a service
    // behind a private authority; empty: the system's.
    std::string certificateAuthorityFile{};
  };

  CurlHttpTransport();
  explicit CurlHttpTransport(Options options);
  ~CurlHttpTransport() override;

  void send(HttpRequest request, Completion completion) override;
  void shutdown();

  // Requests handed to the transport that have not completed yet.
  std::size_t pendingCount() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace trevalo::platform
