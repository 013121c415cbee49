#pragma once

#include <functional>
#include <memory>

#include "trevalo/platform/MotionActivity.h"
#include "trevalo/platform/OperationQueue.h"

namespace trevalo::platform {

// The platform's activity classifier. A started stream reports the current activity soon
// after the start and then every change, as operations on the queue given at the start
// (queued operations still run after a stop, as with MotionManager).
class MotionActivityManager {
 public:
  using ActivityHandler = std::function<void(const MotionActivity&)>;

  virtual ~MotionActivityManager() = default;

  virtual bool isActivityAvailable() const = 0;
  // Replaces the queue and handler of a stream that is on; starts nothing when no classifier
  // is available. A missing queue or handler raises an invalid-argument Exception.
  virtual void startActivityUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                           ActivityHandler handler) = 0;
  virtual void stopActivityUpdates() = 0;
};

}  // namespace trevalo::platform
