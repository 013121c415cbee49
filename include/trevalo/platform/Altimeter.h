#pragma once

#include <functional>
#include <memory>

#include "trevalo/platform/AltitudeData.h"
#include "trevalo/platform/OperationQueue.h"

namespace trevalo::platform {

// The barometric altimeter: changes of altitude relative to the first sample of a stream.
// Delivery follows the rules of MotionManager: operations on the queue given at the start,
// queued operations still running after a stop.
class Altimeter {
 public:
  using AltitudeHandler = std::function<void(const AltitudeData&)>;

  virtual ~Altimeter() = default;

  virtual bool isRelativeAltitudeAvailable() const = 0;
  // Replaces the queue and handler of a stream that is on; starts nothing when relative
  // altitude is unavailable. A missing queue or handler raises an invalid-argument Exception.
  virtual void startRelativeAltitudeUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                   AltitudeHandler handler) = 0;
  virtual void stopRelativeAltitudeUpdates() = 0;
};

}  // namespace trevalo::platform
