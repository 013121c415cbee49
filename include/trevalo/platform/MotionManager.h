#pragma once

#include <functional>
#include <memory>

#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/GyroData.h"
#include "trevalo/platform/OperationQueue.h"

namespace trevalo::platform {

// The accelerometer and the gyroscope. Samples of a started stream are handed to its handler
// as operations added to the queue it was started with, so they run wherever that queue runs.
// After a stop no new sample is added, but operations already queued still run: a handler
// must tell late samples apart itself.
class MotionManager {
 public:
  using AccelerometerHandler = std::function<void(const AccelerometerData&)>;
  using GyroHandler = std::function<void(const GyroData&)>;

  virtual ~MotionManager() = default;

  virtual bool isAccelerometerAvailable() const = 0;
  virtual bool isGyroAvailable() const = 0;

  // Seconds between samples, for streams started afterwards. A manager may raise a value below
  // its fastest rate; a value that is not a positive finite number raises an invalid-argument
  // Exception.
  virtual void setAccelerometerUpdateInterval(double seconds) = 0;
  virtual double accelerometerUpdateInterval() const = 0;
  virtual void setGyroUpdateInterval(double seconds) = 0;
  virtual double gyroUpdateInterval() const = 0;

  // Starting a stream that is on replaces its queue and handler. A missing queue or handler
  // raises an invalid-argument Exception. Gyroscope updates on a device without a gyroscope
  // start nothing.
  virtual void startAccelerometerUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                AccelerometerHandler handler) = 0;
  virtual void stopAccelerometerUpdates() = 0;
  virtual void startGyroUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                       GyroHandler handler) = 0;
  virtual void stopGyroUpdates() = 0;
};

}  // namespace trevalo::platform
