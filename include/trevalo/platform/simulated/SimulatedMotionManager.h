#pragma once

#include <memory>
#include <mutex>

#include "trevalo/platform/MotionManager.h"
#include "trevalo/platform/RunLoop.h"
#include "trevalo/platform/simulated/MotionScript.h"
#include "trevalo/platform/simulated/SensorStream.h"

namespace trevalo::platform {

// A motion manager that plays a MotionScript: while a stream is on, a timer on the run loop
// takes a reading every update interval, stamps it with the clock's uptime and queues it for
// the handler. The first sample comes one interval after the start. When the script is over
// the streams stay on but fall silent. Tests and replays may also hand samples in directly,
// from any thread, as a sensor running on a thread of its own would.
class SimulatedMotionManager final : public MotionManager,
                                     public std::enable_shared_from_this<SimulatedMotionManager> {
 public:
  static constexpr double kDefaultUpdateInterval = 0.1;
  static constexpr double kShortestUpdateInterval = 0.01;

  explicit SimulatedMotionManager(std::shared_ptr<RunLoop> runLoop, bool gyroAvailable = true);
  ~SimulatedMotionManager() override;

  // Plays `script` from now on, its time 0 at the clock's uptime `originUptime` (now when not
  // given). Replaces the script before; streams that are on carry on with the new one.
  void play(MotionScript script);
  void play(MotionScript script, double originUptime);

  bool isAccelerometerAvailable() const override { return true; }
  bool isGyroAvailable() const override;
  void setGyroAvailable(bool available);

  void setAccelerometerUpdateInterval(double seconds) override;
  double accelerometerUpdateInterval() const override;
  void setGyroUpdateInterval(double seconds) override;
  double gyroUpdateInterval() const override;

  void startAccelerometerUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                        AccelerometerHandler handler) override;
  void stopAccelerometerUpdates() override;
  void startGyroUpdatesToQueue(std::shared_ptr<OperationQueue> queue, GyroHandler handler) override;
  void stopGyroUpdates() override;

  bool isAccelerometerActive() const { return accelerometer_.isActive(); }
  bool isGyroActive() const { return gyro_.isActive(); }

  // Queue a sample for the handler; false when that stream is off.
  bool deliverAccelerometerData(const AccelerometerData& sample) const;
  bool deliverGyroData(const GyroData& sample) const;

 private:
  enum class Sensor { kAccelerometer, kGyro };
  std::shared_ptr<Timer> scheduleTicks(Sensor sensor, double interval);
  void tick(Sensor sensor);
  static double checkedInterval(double seconds);

  const std::shared_ptr<RunLoop> runLoop_;
  mutable std::mutex mutex_;
  MotionScript script_;
  double originUptime_ = 0.0;
  bool gyroAvailable_;
  double accelerometerInterval_ = kDefaultUpdateInterval;
  double gyroInterval_ = kDefaultUpdateInterval;
  SensorStream<AccelerometerData> accelerometer_;
  SensorStream<GyroData> gyro_;
};

}  // namespace trevalo::platform
