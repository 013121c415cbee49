#pragma once

#include <memory>

#include "trevalo/platform/HttpTransport.h"

namespace trevalo::testing {

// Hands every request to another transport with its timeout cut to `timeout` seconds, so that
// a server that never finishes fails a request in a test's time rather than the SDK's 40 s.
class ShortTimeoutTransport final : public platform::HttpTransport {
 public:
  ShortTimeoutTransport(std::shared_ptr<platform::HttpTransport> transport, double timeout)
      : transport_(std::move(transport)), timeout_(timeout) {}

  void send(platform::HttpRequest request, Completion completion) override {
    if (request.timeoutInterval > timeout_) request.timeoutInterval = timeout_;
    transport_->send(std::move(request), std::move(completion));
  }

 private:
  std::shared_ptr<platform::HttpTransport> transport_;
  double timeout_;
};

}  // namespace trevalo::testing
