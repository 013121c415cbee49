#include "trevalo/platform/simulated/SimulatedMotionManager.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

SimulatedMotionManager::SimulatedMotionManager(std::shared_ptr<RunLoop> runLoop, bool gyroAvailable)
    : runLoop_(std::move(runLoop)), gyroAvailable_(gyroAvailable) {
  if (!runLoop_) throw Exception(Exception::kInvalidArgument, "a run loop is needed");
  originUptime_ = runLoop_->clock().systemUptime();
}

SimulatedMotionManager::~SimulatedMotionManager() = default;

void SimulatedMotionManager::play(MotionScript script) {
  play(std::move(script), runLoop_->clock().systemUptime());
}

void SimulatedMotionManager::play(MotionScript script, double originUptime) {
  if (!std::isfinite(originUptime)) {
    throw Exception(Exception::kInvalidArgument, "a script needs a finite start");
  }
  {
    const std::lock_guard lock(mutex_);
    script_ = std::move(script);
    originUptime_ = originUptime;
  }
  // A stream whose script ran out has no timer any more; the new script needs one.
  if (accelerometer_.isActive()) {
    accelerometer_.setTimer(scheduleTicks(Sensor::kAccelerometer, accelerometerUpdateInterval()));
  }
  if (gyro_.isActive()) gyro_.setTimer(scheduleTicks(Sensor::kGyro, gyroUpdateInterval()));
}

bool SimulatedMotionManager::isGyroAvailable() const {
  const std::lock_guard lock(mutex_);
  return gyroAvailable_;
}

void SimulatedMotionManager::setGyroAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  gyroAvailable_ = available;
}

double SimulatedMotionManager::checkedInterval(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0.0) {
    throw Exception(Exception::kInvalidArgument, "an update interval must be a positive number");
  }
  return std::max(seconds, kShortestUpdateInterval);
}

void SimulatedMotionManager::setAccelerometerUpdateInterval(double seconds) {
  const double interval = checkedInterval(seconds);
  const std::lock_guard lock(mutex_);
  accelerometerInterval_ = interval;
}

double SimulatedMotionManager::accelerometerUpdateInterval() const {
  const std::lock_guard lock(mutex_);
  return accelerometerInterval_;
}

void SimulatedMotionManager::setGyroUpdateInterval(double seconds) {
  const double interval = checkedInterval(seconds);
  const std::lock_guard lock(mutex_);
  gyroInterval_ = interval;
}

double SimulatedMotionManager::gyroUpdateInterval() const {
  const std::lock_guard lock(mutex_);
  return gyroInterval_;
}

void SimulatedMotionManager::startAccelerometerUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                              AccelerometerHandler handler) {
  accelerometer_.start(std::move(queue), std::move(handler));
  accelerometer_.setTimer(scheduleTicks(Sensor::kAccelerometer, accelerometerUpdateInterval()));
}

void SimulatedMotionManager::stopAccelerometerUpdates() {
  accelerometer_.stop();
}

void SimulatedMotionManager::startGyroUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                     GyroHandler handler) {
  if (!isGyroAvailable()) return;
  gyro_.start(std::move(queue), std::move(handler));
  gyro_.setTimer(scheduleTicks(Sensor::kGyro, gyroUpdateInterval()));
}

void SimulatedMotionManager::stopGyroUpdates() {
  gyro_.stop();
}

bool SimulatedMotionManager::deliverAccelerometerData(const AccelerometerData& sample) const {
  return accelerometer_.deliver(sample);
}

bool SimulatedMotionManager::deliverGyroData(const GyroData& sample) const {
  return gyro_.deliver(sample);
}

std::shared_ptr<Timer> SimulatedMotionManager::scheduleTicks(Sensor sensor, double interval) {
  return runLoop_->scheduleTimer(interval, true, [weak = weak_from_this(), sensor] {
    if (const auto self = weak.lock()) self->tick(sensor);
  });
}

void SimulatedMotionManager::tick(Sensor sensor) {
  const double uptime = runLoop_->clock().systemUptime();
  std::optional<MotionScript::Reading> reading;
  bool over = false;
  {
    const std::lock_guard lock(mutex_);
    const double elapsed = uptime - originUptime_;
    reading = script_.readingAt(elapsed);
    over = !reading && elapsed >= script_.duration();
  }
  if (sensor == Sensor::kAccelerometer) {
    if (reading) accelerometer_.deliver({reading->acceleration, uptime});
    // Nothing more will come: the timer goes, the stream stays on (a new script may follow).
    if (over) accelerometer_.setTimer(nullptr);
  } else {
    if (reading) gyro_.deliver({reading->rotationRate, uptime});
    if (over) gyro_.setTimer(nullptr);
  }
}

}  // namespace trevalo::platform
