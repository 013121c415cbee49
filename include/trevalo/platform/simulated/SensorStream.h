#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "trevalo/platform/Exception.h"
#include "trevalo/platform/OperationQueue.h"
#include "trevalo/platform/Timer.h"

namespace trevalo::platform {

// One stream of a sensor source: the queue and handler it was started with, and the timer that
// drives it, if any. Samples become operations on the queue, as on a phone; an operation
// already queued still runs after a stop. A building block for sensor sources (the simulated
// ones, or an application's own). Safe from any thread.
template <class Sample>
class SensorStream {
 public:
  using Handler = std::function<void(const Sample&)>;

  SensorStream() = default;
  SensorStream(const SensorStream&) = delete;
  SensorStream& operator=(const SensorStream&) = delete;
  ~SensorStream() { stop(); }

  // Turns the stream on, or replaces the queue and handler of a stream that is on.
  void start(std::shared_ptr<OperationQueue> queue, Handler handler) {
    if (!queue || !handler) {
      throw Exception(Exception::kInvalidArgument, "sensor updates need a queue and a handler");
    }
    const std::lock_guard lock(mutex_);
    queue_ = std::move(queue);
    handler_ = std::move(handler);
  }

  void stop() {
    std::shared_ptr<Timer> timer;
    {
      const std::lock_guard lock(mutex_);
      queue_.reset();
      handler_ = nullptr;
      timer = std::exchange(timer_, nullptr);
    }
    if (timer) timer->invalidate();
  }

  bool isActive() const {
    const std::lock_guard lock(mutex_);
    return queue_ != nullptr;
  }

  // Makes `timer` the one that plays the script, invalidating the one before. A stream that
  // is off takes no timer.
  void setTimer(std::shared_ptr<Timer> timer) {
    std::shared_ptr<Timer> previous;
    {
      const std::lock_guard lock(mutex_);
      if (queue_) {
        previous = std::exchange(timer_, std::move(timer));
      } else {
        previous = std::move(timer);
      }
    }
    if (previous) previous->invalidate();
  }

  // Queues the sample for the handler; false when the stream is off.
  bool deliver(const Sample& sample) const {
    std::shared_ptr<OperationQueue> queue;
    Handler handler;
    {
      const std::lock_guard lock(mutex_);
      if (!queue_) return false;
      queue = queue_;
      handler = handler_;
    }
    queue->addOperationWithBlock([handler = std::move(handler), sample] { handler(sample); });
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<OperationQueue> queue_;
  Handler handler_;
  std::shared_ptr<Timer> timer_;
};

}  // namespace trevalo::platform
