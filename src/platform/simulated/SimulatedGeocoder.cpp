#include "trevalo/platform/simulated/SimulatedGeocoder.h"

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

SimulatedGeocoder::SimulatedGeocoder(std::shared_ptr<RunLoop> runLoop)
    : runLoop_(std::move(runLoop)) {
  if (!runLoop_) throw Exception(Exception::kInvalidArgument, "the run loop is missing");
}

SimulatedGeocoder::~SimulatedGeocoder() {
  failPending();
}

void SimulatedGeocoder::reverseGeocodeLocation(const Location& location,
                                               CompletionHandler completionHandler) {
  if (!completionHandler) {
    throw Exception(Exception::kInvalidArgument, "the geocoder needs a completion handler");
  }
  std::shared_ptr<const Responder> responder;
  {
    const std::lock_guard lock(mutex_);
    requests_.push_back(location);
    if (!script_.empty()) {
      Answer answer = std::move(script_.front());
      script_.pop_front();
      deliver(std::move(completionHandler), std::move(answer));
      return;
    }
    responder = responder_;
  }
  // The responder is the test's code: it runs without the lock, so it may use the geocoder.
  if (responder && *responder) {
    if (auto answer = (*responder)(location)) {
      deliver(std::move(completionHandler), std::move(*answer));
      return;
    }
  }
  const std::lock_guard lock(mutex_);
  pending_.push_back(std::move(completionHandler));
}

std::vector<Location> SimulatedGeocoder::requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t SimulatedGeocoder::requestCount() const {
  const std::lock_guard lock(mutex_);
  return requests_.size();
}

std::size_t SimulatedGeocoder::pendingCount() const {
  const std::lock_guard lock(mutex_);
  return pending_.size();
}

void SimulatedGeocoder::enqueueAnswer(Answer answer) {
  const std::lock_guard lock(mutex_);
  script_.push_back(std::move(answer));
}

void SimulatedGeocoder::setResponder(Responder responder) {
  auto shared = responder ? std::make_shared<const Responder>(std::move(responder)) : nullptr;
  const std::lock_guard lock(mutex_);
  responder_ = std::move(shared);
}

bool SimulatedGeocoder::respondToNext(Answer answer) {
  CompletionHandler handler;
  {
    const std::lock_guard lock(mutex_);
    if (pending_.empty()) return false;
    handler = std::move(pending_.front());
    pending_.pop_front();
  }
  deliver(std::move(handler), std::move(answer));
  return true;
}

std::size_t SimulatedGeocoder::failPending(const Error& error) {
  std::deque<CompletionHandler> handlers;
  {
    const std::lock_guard lock(mutex_);
    handlers.swap(pending_);
  }
  for (auto& handler : handlers)
    deliver(std::move(handler), error);
  return handlers.size();
}

void SimulatedGeocoder::deliver(CompletionHandler handler, Answer answer) const {
  runLoop_->post([handler = std::move(handler), answer = std::move(answer)] {
    if (const auto* placemarks = std::get_if<std::vector<Placemark>>(&answer)) {
      handler(*placemarks, std::nullopt);
    } else {
      handler(std::nullopt, std::get<Error>(answer));
    }
  });
}

}  // namespace trevalo::platform
