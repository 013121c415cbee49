#pragma once

#include <poll.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

class EventDescriptor;

// The production run loop. Either the application gives it a thread (`run`, which returns after
// `stop`), or the loop starts a thread of its own (`startThread`), which the destructor stops and
// joins. Timers follow the wall clock; a repeating timer that fell behind fires once and then
// keeps its period from the current time, as a phone's timers do.
//
// Besides tasks and timers the loop waits on file descriptors: a source of data read on the
// loop's own thread costs one wake-up per arrival instead of two (a reader thread's and then
// the loop's).
class RealTimeRunLoop final : public RunLoop {
 public:
  // A descriptor the loop watches until the watch is cancelled or destroyed.
  class DescriptorWatch {
   public:
    ~DescriptorWatch();
    DescriptorWatch(const DescriptorWatch&) = delete;
    DescriptorWatch& operator=(const DescriptorWatch&) = delete;

    // From any thread: once it returns, the handler is not running (unless this is called
    // from the handler itself) and never runs again.
    void cancel();

   private:
    friend class RealTimeRunLoop;
    struct Entry;
    DescriptorWatch(RealTimeRunLoop& loop, std::shared_ptr<Entry> entry);

    RealTimeRunLoop& loop_;
    std::shared_ptr<Entry> entry_;
  };

  explicit RealTimeRunLoop(std::shared_ptr<const Clock> clock);
  ~RealTimeRunLoop() override;

  void run();
  // Runs the loop on the calling thread for `seconds` of wall time.
  void runFor(double seconds);
  void stop();
  void startThread();
  // Stops the loop's own thread and waits for it to end.
  void stopThread();

  // Called when the descriptor is ready; false ends the watch.
  using ReadableHandler = std::function<bool()>;

  // Calls `onReadable` on the loop's thread, between tasks, whenever `fd` has data to read or
  // was closed by its peer (level-triggered: until the handler has read what is there), until
  // the handler returns false or the watch is cancelled. The descriptor stays the caller's and
  // must stay open while watched; the watch must not outlive the loop. A thread that cancels
  // waits for a running handler, so it must hold nothing the handler needs.
  std::unique_ptr<DescriptorWatch> watchReadable(int fd, ReadableHandler onReadable);

 private:
  void loop(std::optional<double> deadlineUptime);
  // Waits at most `seconds` for work, a stop or a watched descriptor; runs the handlers of the
  // descriptors that became ready.
  void wait(double seconds);
  void cancel(const std::shared_ptr<DescriptorWatch::Entry>& entry);
  void workArrived() override;
  // Makes a loop waiting in poll() return.
  void interruptWait();
  void interruptWaitLocked();

  // Signalled to end a wait in poll() early.
  const std::unique_ptr<EventDescriptor> wake_;
  std::mutex mutex_;
  bool stopRequested_ = false;
  bool woken_ = false;
  bool waiting_ = false;    // in poll(), or about to be
  bool signalled_ = false;  // the wake descriptor was signalled during this wait
  std::vector<std::shared_ptr<DescriptorWatch::Entry>> watches_;
  std::vector<pollfd> polledDescriptors_;
  std::vector<std::shared_ptr<DescriptorWatch::Entry>> polledWatches_;
  // Held while a handler runs, so that a cancel from another thread waits for it.
  std::recursive_mutex dispatching_;
  std::thread thread_;
};

}  // namespace trevalo::platform
