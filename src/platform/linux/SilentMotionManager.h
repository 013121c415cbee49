#pragma once

#include <atomic>

#include "trevalo/platform/MotionManager.h"

namespace trevalo::platform {

// The motion manager of a machine without motion sensors, which is what Linux offers: it
// reports no accelerometer and no gyroscope, accepts every call, and never delivers a sample.
class SilentMotionManager final : public MotionManager {
 public:
  bool isAccelerometerAvailable() const override { return false; }
  bool isGyroAvailable() const override { return false; }

  void setAccelerometerUpdateInterval(double seconds) override;
  double accelerometerUpdateInterval() const override { return accelerometerInterval_.load(); }
  void setGyroUpdateInterval(double seconds) override;
  double gyroUpdateInterval() const override { return gyroInterval_.load(); }

  void startAccelerometerUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                        AccelerometerHandler handler) override;
  void stopAccelerometerUpdates() override {}
  void startGyroUpdatesToQueue(std::shared_ptr<OperationQueue> queue, GyroHandler handler) override;
  void stopGyroUpdates() override {}

 private:
  std::atomic<double> accelerometerInterval_{0.1};
  std::atomic<double> gyroInterval_{0.1};
};

}  // namespace trevalo::platform
