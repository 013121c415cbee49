#include "platform/linux/SilentMotionManager.h"

#include <cmath>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

namespace {

double checkedInterval(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0.0) {
    throw Exception(Exception::kInvalidArgument, "an update interval must be a positive number");
  }
  return seconds;
}

void checkStart(const std::shared_ptr<OperationQueue>& queue, bool hasHandler) {
  if (!queue || !hasHandler) {
    throw Exception(Exception::kInvalidArgument, "sensor updates need a queue and a handler");
  }
}

}  // namespace

void SilentMotionManager::setAccelerometerUpdateInterval(double seconds) {
  accelerometerInterval_.store(checkedInterval(seconds));
}

void SilentMotionManager::setGyroUpdateInterval(double seconds) {
  gyroInterval_.store(checkedInterval(seconds));
}

// The calls are checked as on any manager, so that a fault shows on every platform; there is
// nothing to start.
void SilentMotionManager::startAccelerometerUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                           AccelerometerHandler handler) {
  checkStart(queue, static_cast<bool>(handler));
}

void SilentMotionManager::startGyroUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                  GyroHandler handler) {
  checkStart(queue, static_cast<bool>(handler));
}

}  // namespace trevalo::platform
