#include "trevalo/platform/simulated/SimulatedHttpTransport.h"

#include <algorithm>
#include <utility>

namespace trevalo::platform {

SimulatedHttpTransport::~SimulatedHttpTransport() {
  cancelAll();
}

void SimulatedHttpTransport::send(HttpRequest request, Completion completion) {
  std::shared_ptr<const Responder> responder;
  Identifier identifier = 0;
  {
    const std::lock_guard lock(mutex_);
    sent_.push_back(request);
    responder = responder_;
    identifier = nextIdentifier_++;
  }
  if (responder) {
    if (auto answer = (*responder)(request)) {
      complete(completion, std::move(*answer));
      return;
    }
  }
  const std::lock_guard lock(mutex_);
  pending_.push_back(Entry{identifier, std::move(request), std::move(completion)});
}

std::vector<HttpRequest> SimulatedHttpTransport::sentRequests() const {
  const std::lock_guard lock(mutex_);
  return sent_;
}

std::size_t SimulatedHttpTransport::sentCount() const {
  const std::lock_guard lock(mutex_);
  return sent_.size();
}

std::vector<SimulatedHttpTransport::PendingRequest> SimulatedHttpTransport::pendingRequests()
    const {
  const std::lock_guard lock(mutex_);
  std::vector<PendingRequest> result;
  result.reserve(pending_.size());
  for (const auto& entry : pending_)
    result.push_back(PendingRequest{entry.identifier, entry.request});
  return result;
}

std::size_t SimulatedHttpTransport::pendingCount() const {
  const std::lock_guard lock(mutex_);
  return pending_.size();
}

std::optional<SimulatedHttpTransport::Entry> SimulatedHttpTransport::take(
    std::optional<Identifier> identifier) {
  const std::lock_guard lock(mutex_);
  const auto it = identifier
                      ? std::find_if(pending_.begin(), pending_.end(),
                                     [&](const Entry& e) { return e.identifier == *identifier; })
                      : pending_.begin();
  if (it == pending_.end()) return std::nullopt;
  Entry entry = std::move(*it);
  pending_.erase(it);
  return entry;
}

void SimulatedHttpTransport::complete(Completion& completion, Answer answer) {
  if (!completion) return;
  if (auto* response = std::get_if<HttpResponse>(&answer)) {
    completion(std::move(*response), std::nullopt);
  } else {
    completion(std::nullopt, std::move(std::get<Error>(answer)));
  }
}

bool SimulatedHttpTransport::respond(Identifier identifier, Answer answer) {
  auto entry = take(identifier);
  if (!entry) return false;
  complete(entry->completion, std::move(answer));
  return true;
}

bool SimulatedHttpTransport::respondToNext(Answer answer) {
  auto entry = take(std::nullopt);
  if (!entry) return false;
  complete(entry->completion, std::move(answer));
  return true;
}

std::size_t SimulatedHttpTransport::cancelAll() {
  std::vector<Entry> cancelled;
  {
    const std::lock_guard lock(mutex_);
    cancelled.swap(pending_);
  }
  for (auto& entry : cancelled)
    complete(entry.completion, cancelledError());
  return cancelled.size();
}

void SimulatedHttpTransport::setResponder(Responder responder) {
  auto installed = responder ? std::make_shared<const Responder>(std::move(responder)) : nullptr;
  const std::lock_guard lock(mutex_);
  responder_.swap(installed);
}

HttpResponse SimulatedHttpTransport::response(int status, std::string_view body) {
  HttpResponse response;
  response.statusCode = status;
  response.body.assign(body.begin(), body.end());
  return response;
}

}  // namespace trevalo::platform
