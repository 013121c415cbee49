#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "trevalo/platform/Geocoder.h"
#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

// The geocoder of tests and replays. It records every request; a request takes the next
// scripted answer (`enqueueAnswer`), else the responder's answer, else it stays pending until
// the test answers it (`respondToNext`) or fails it (`failPending`). Answers reach the handler
// as tasks posted to the run loop. Requests still pending when the geocoder is destroyed are
// answered with the cancellation error. Safe to use from any thread.
class SimulatedGeocoder final : public Geocoder {
 public:
  using Answer = std::variant<std::vector<Placemark>, Error>;
  // Answers a request as it is made; nothing leaves it to the script or pending.
  using Responder = std::function<std::optional<Answer>(const Location&)>;

  explicit SimulatedGeocoder(std::shared_ptr<RunLoop> runLoop);
  ~SimulatedGeocoder() override;

  void reverseGeocodeLocation(const Location& location,
                              CompletionHandler completionHandler) override;

  // Every location asked about so far, in order, answered or not.
  std::vector<Location> requests() const;
  std::size_t requestCount() const;
  std::size_t pendingCount() const;

  void enqueueAnswer(Answer answer);
  void setResponder(Responder responder);
  // Answers the oldest pending request; false when none is pending.
  bool respondToNext(Answer answer);
  // Answers every pending request with `error`; returns how many.
  std::size_t failPending(const Error& error = cancelledError());

 private:
  void deliver(CompletionHandler handler, Answer answer) const;

  std::shared_ptr<RunLoop> runLoop_;
  mutable std::mutex mutex_;
  std::vector<Location> requests_;
  std::deque<Answer> script_;
  std::shared_ptr<const Responder> responder_;
  std::deque<CompletionHandler> pending_;
};

}  // namespace trevalo::platform
