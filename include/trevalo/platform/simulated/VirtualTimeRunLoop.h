#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "trevalo/platform/RunLoop.h"
#include "trevalo/platform/simulated/VirtualClock.h"

namespace trevalo::platform {

// The run loop of tests and replays. It runs on the thread that drives it, moves its virtual
// clock only in `advanceBy`/`advanceTo`, and is deterministic: the same calls give the same
// order of work every time. A two-hour scenario with a handful of timers runs in milliseconds.
class VirtualTimeRunLoop final : public RunLoop {
 public:
  explicit VirtualTimeRunLoop(std::shared_ptr<VirtualClock> clock);

  // Runs posted tasks and every timer due up to now + `seconds`, in order, setting the clock to
  // each timer's fire date before it fires; ends with the clock at now + `seconds`.
  void advanceBy(double seconds);
  void advanceTo(Date date);

  // Like advanceTo, but timers due exactly at `date` stay pending: the clock ends at `date`
  // with only the timers due strictly before it fired. Replays use it so that inputs stamped
  // with an instant are handled before the timers due at that instant.
  void advanceToJustBefore(Date date);

  // When the next timer is due; nothing when none is scheduled.
  std::optional<Date> nextTimerFireDate() const;

  // Runs posted tasks and the timers already due, without moving the clock.
  void runUntilIdle();

  // Moves the clock to the next timer and fires it (after the posted tasks). False when no timer
  // is scheduled.
  bool advanceToNextTimer();

  // For work finishing on other threads (a real HTTP transport, say): runs posted tasks as they
  // arrive, without moving the clock, until `done` holds or `realTimeout` has passed. Returns
  // whether `done` held.
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout);

  VirtualClock& virtualClock() noexcept { return *clock_; }

 private:
  void workArrived() override;
  // Whether a timer fired.
  bool fireAt(double uptime);
  void advance(Date date, bool includingTimersDueThen);

  std::shared_ptr<VirtualClock> clock_;
  struct Signal;
  std::shared_ptr<Signal> signal_;
};

}  // namespace trevalo::platform
