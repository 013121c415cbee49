#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

// The production run loop. Either the application gives it a thread (`run`, which returns after
// `stop`), or the loop starts a thread of its own (`startThread`), which the destructor stops and
// joins. Timers follow the wall clock; a repeating timer that fell behind fires once and then
// keeps its period from the current time, as a phone's timers do.
class RealTimeRunLoop final : public RunLoop {
 public:
  explicit RealTimeRunLoop(std::shared_ptr<const Clock> clock);
  ~RealTimeRunLoop() override;

  void run();
  // Runs the loop on the calling thread for `seconds` of wall time.
  void runFor(double seconds);
  void stop();
  void startThread();
  // Stops the loop's own thread and waits for it to end.
  void stopThread();

 private:
  void loop(std::optional<double> deadlineUptime);
  void workArrived() override;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopRequested_ = false;
  bool woken_ = false;
  std::thread thread_;
};

}  // namespace trevalo::platform
