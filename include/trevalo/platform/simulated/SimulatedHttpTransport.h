#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "trevalo/platform/HttpTransport.h"

namespace trevalo::platform {

// The transport of tests and replays. It records every request sent and keeps each pending
// until the test (or a responder installed for replays) answers it; an answer runs the
// request's completion on the answering thread. Requests still pending when the transport is
// destroyed complete with the cancellation error, so no request is ever left without its one
// completion. Safe to use from any thread.
class SimulatedHttpTransport final : public HttpTransport {
 public:
  using Identifier = std::uint64_t;
  using Answer = std::variant<HttpResponse, Error>;
  // Answers a request as it is sent; nothing leaves it pending.
  using Responder = std::function<std::optional<Answer>(const HttpRequest&)>;

  struct PendingRequest {
    Identifier identifier;
    HttpRequest request;
  };

  SimulatedHttpTransport() = default;
  ~SimulatedHttpTransport() override;

  void send(HttpRequest request, Completion completion) override;

  // Every request sent so far, in order, answered or not.
  std::vector<HttpRequest> sentRequests() const;
  std::size_t sentCount() const;
  std::vector<PendingRequest> pendingRequests() const;
  std::size_t pendingCount() const;

  // Completes a pending request; false when `identifier` is not pending (never sent, or
  // answered already).
  bool respond(Identifier identifier, Answer answer);
  // Completes the oldest pending request; false when none is pending.
  bool respondToNext(Answer answer);
  // Completes every pending request with the cancellation error; returns how many.
  std::size_t cancelAll();

  void setResponder(Responder responder);

  // A response with `status` and `body` as its bytes.
  static HttpResponse response(int status, std::string_view body = {});

 private:
  struct Entry {
    Identifier identifier;
    HttpRequest request;
    Completion completion;
  };
  std::optional<Entry> take(std::optional<Identifier> identifier);
  static void complete(Completion& completion, Answer answer);

  mutable std::mutex mutex_;
  Identifier nextIdentifier_ = 1;
  std::vector<HttpRequest> sent_;
  std::vector<Entry> pending_;
  std::shared_ptr<const Responder> responder_;
};

}  // namespace trevalo::platform
