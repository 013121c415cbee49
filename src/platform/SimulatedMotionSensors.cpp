#include "trevalo/platform/SimulatedMotionSensors.h"

#include <utility>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

namespace {

const std::shared_ptr<RunLoop>& required(const std::shared_ptr<RunLoop>& runLoop) {
  if (!runLoop) throw Exception(Exception::kInvalidArgument, "a run loop is needed");
  return runLoop;
}

}  // namespace

SimulatedMotionSensors::SimulatedMotionSensors(std::shared_ptr<RunLoop> runLoop)
    : runLoop_(required(runLoop)),
      motionOrigin_(now()),
      altitudeOrigin_(motionOrigin_),
      activityOrigin_(motionOrigin_) {}

// The latest sensor is told outside the lock: playing a script may schedule a timer and queue
// a sample, which must not wait for this object.
void SimulatedMotionSensors::setMotionScript(MotionScript script) {
  std::shared_ptr<SimulatedMotionManager> latest;
  double origin;
  {
    const std::lock_guard lock(mutex_);
    motionScript_ = script;
    origin = motionOrigin_ = now();
    latest = motionManager_;
  }
  if (latest) latest->play(std::move(script), origin);
}

void SimulatedMotionSensors::setAltitudeScript(AltitudeScript script) {
  std::shared_ptr<SimulatedAltimeter> latest;
  double origin;
  {
    const std::lock_guard lock(mutex_);
    altitudeScript_ = script;
    origin = altitudeOrigin_ = now();
    latest = altimeter_;
  }
  if (latest) latest->play(std::move(script), origin);
}

void SimulatedMotionSensors::setActivityScript(MotionActivityScript script) {
  std::shared_ptr<SimulatedMotionActivityManager> latest;
  double origin;
  {
    const std::lock_guard lock(mutex_);
    activityScript_ = script;
    origin = activityOrigin_ = now();
    latest = activityManager_;
  }
  if (latest) latest->play(std::move(script), origin);
}

void SimulatedMotionSensors::setGyroAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  gyroAvailable_ = available;
}

void SimulatedMotionSensors::setHasAltimeter(bool has) {
  const std::lock_guard lock(mutex_);
  hasAltimeter_ = has;
}

void SimulatedMotionSensors::setRelativeAltitudeAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  relativeAltitudeAvailable_ = available;
}

void SimulatedMotionSensors::setActivityAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  activityAvailable_ = available;
}

std::shared_ptr<MotionManager> SimulatedMotionSensors::makeMotionManager() {
  const std::lock_guard lock(mutex_);
  auto manager = std::make_shared<SimulatedMotionManager>(runLoop_, gyroAvailable_);
  manager->play(motionScript_, motionOrigin_);
  motionManager_ = manager;
  ++motionManagersMade_;
  return manager;
}

std::shared_ptr<Altimeter> SimulatedMotionSensors::makeAltimeter() {
  const std::lock_guard lock(mutex_);
  if (!hasAltimeter_) return nullptr;
  auto altimeter = std::make_shared<SimulatedAltimeter>(runLoop_, relativeAltitudeAvailable_);
  altimeter->play(altitudeScript_, altitudeOrigin_);
  altimeter_ = altimeter;
  ++altimetersMade_;
  return altimeter;
}

std::shared_ptr<MotionActivityManager> SimulatedMotionSensors::makeMotionActivityManager() {
  const std::lock_guard lock(mutex_);
  auto manager = std::make_shared<SimulatedMotionActivityManager>(runLoop_, activityAvailable_);
  manager->play(activityScript_, activityOrigin_);
  activityManager_ = manager;
  ++activityManagersMade_;
  return manager;
}

std::shared_ptr<SimulatedMotionManager> SimulatedMotionSensors::motionManager() const {
  const std::lock_guard lock(mutex_);
  return motionManager_;
}

std::shared_ptr<SimulatedAltimeter> SimulatedMotionSensors::altimeter() const {
  const std::lock_guard lock(mutex_);
  return altimeter_;
}

std::shared_ptr<SimulatedMotionActivityManager> SimulatedMotionSensors::motionActivityManager()
    const {
  const std::lock_guard lock(mutex_);
  return activityManager_;
}

std::size_t SimulatedMotionSensors::motionManagersMade() const {
  const std::lock_guard lock(mutex_);
  return motionManagersMade_;
}

std::size_t SimulatedMotionSensors::altimetersMade() const {
  const std::lock_guard lock(mutex_);
  return altimetersMade_;
}

std::size_t SimulatedMotionSensors::motionActivityManagersMade() const {
  const std::lock_guard lock(mutex_);
  return activityManagersMade_;
}

}  // namespace trevalo::platform
