#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "strategies/TRKeepAliveLoopDelegate.h"
#include "trevalo/platform/Application.h"

namespace trevalo::platform {
class Timer;
}

namespace trevalo {

// The SDK's heartbeat: every 17 seconds it renews a platform background task, so that the
// process keeps running until the next tick also in the background, and tells its delegate.
// Each tick takes the new task before it lets go of the old one.
//
// Ticks run on the platform's run loop; `start`, `processLoop` and `stop` called from another
// thread are posted there. Timers and posted work hold the loop weakly. A loop that goes away
// ends the task it holds.
class TRKeepAliveLoop : public std::enable_shared_from_this<TRKeepAliveLoop> {
  struct Key {
    explicit Key() = default;
  };

 public:
  static constexpr double kLoopInterval = 17.0;  // seconds between ticks

  static std::shared_ptr<TRKeepAliveLoop> make();

  explicit TRKeepAliveLoop(Key);
  ~TRKeepAliveLoop();
  TRKeepAliveLoop(const TRKeepAliveLoop&) = delete;
  TRKeepAliveLoop& operator=(const TRKeepAliveLoop&) = delete;

  void setDelegate(std::weak_ptr<TRKeepAliveLoopDelegate> delegate);

  // Runs a tick at once; while ticking, that also restarts the 17-second count.
  void start();
  // One tick: begin a new background task, end the one held, tell the delegate, and schedule
  // the next tick.
  void processLoop();
  // Ends the task held and cancels the next tick. Stopping a stopped loop does nothing; a stop
  // made by the delegate during a tick holds.
  void stop();

  // The background task held; platform::kInvalidBackgroundTask when none.
  platform::BackgroundTaskIdentifier taskId() const;

 private:
  void processLoopOnMain();
  void stopOnMain();
  std::shared_ptr<TRKeepAliveLoopDelegate> lockedDelegate() const;

  mutable std::mutex mutex_;
  std::weak_ptr<TRKeepAliveLoopDelegate> delegate_;
  std::shared_ptr<platform::Timer> loopTimer_;
  platform::BackgroundTaskIdentifier taskId_ = platform::kInvalidBackgroundTask;
  // The application the held task was begun with; it is ended there even if another platform
  // has been installed meanwhile.
  std::weak_ptr<platform::Application> taskApplication_;
  // Counts ticks and stops, so that a tick finds out whether its delegate stopped the loop or
  // ran a tick of its own meanwhile.
  std::uint64_t tickGeneration_ = 0;
};

}  // namespace trevalo
