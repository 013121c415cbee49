#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <thread>

#include "trevalo/platform/Clock.h"
#include "trevalo/platform/Task.h"
#include "trevalo/platform/Timer.h"

namespace trevalo::platform {

// The SDK's "main thread": posted tasks run one at a time in FIFO order, and timers fire on the
// same thread. Posting and scheduling are safe from any thread. Two drivers run it: the
// real-time loop (RealTimeRunLoop) and the virtual-time loop for tests and replay
// (VirtualTimeRunLoop).
//
// Order of work: every task posted so far runs before the next timer fires, and timers fire in
// order of their fire dates (ties in the order they were scheduled).
struct RunLoopCore;

class RunLoop {
 public:
  virtual ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  void post(Task task);

  // Schedules `action` to run `seconds` from now (and every `seconds` after that when
  // `repeats`). Intervals below 0.1 ms are raised to 0.1 ms.
  std::shared_ptr<Timer> scheduleTimer(double seconds, bool repeats, Task action);

  // Whether the calling thread is the one this loop runs on.
  bool isCurrent() const noexcept;

  const Clock& clock() const noexcept { return *clock_; }

  std::size_t pendingTaskCount() const;
  std::size_t scheduledTimerCount() const;

 protected:
  explicit RunLoop(std::shared_ptr<const Clock> clock);

  // Driver primitives.
  // Runs posted tasks, including those posted meanwhile, until none is left.
  bool runPostedTasks();
  // When the earliest scheduled timer is due, in the clock's uptime.
  std::optional<double> nextFireUptime() const;
  // Fires the earliest timer if it is due at or before `deadlineUptime`. A repeating timer is
  // rescheduled one period after its fire time, or one period after `nowUptime` when it fell
  // more than a period behind.
  bool fireNextTimerDueBy(double deadlineUptime, double nowUptime);
  // Makes the calling thread (or `thread`) the loop's thread.
  void adoptCurrentThread() noexcept;
  void adoptThread(std::thread::id thread) noexcept;
  // Called after work was posted or scheduled, from the posting thread, without locks held.
  virtual void workArrived() {}

 private:
  std::shared_ptr<const Clock> clock_;
  std::shared_ptr<RunLoopCore> core_;
};

}  // namespace trevalo::platform
