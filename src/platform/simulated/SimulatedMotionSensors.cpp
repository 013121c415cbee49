#include "trevalo/platform/simulated/SimulatedMotionSensors.h"

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
    : runLoop_(required(runLoop)) {
  motion_.origin = altitude_.origin = activity_.origin = now();
}

// The latest sensor is told outside the lock: playing a script may schedule a timer and queue
// a sample, which must not wait for this object.
template <class Script, class Sensor>
void SimulatedMotionSensors::replaceScript(Channel<Script, Sensor>& channel, Script script) {
  std::shared_ptr<Sensor> latest;
  double origin;
  {
    const std::lock_guard lock(mutex_);
    channel.script = script;
    origin = channel.origin = now();
    latest = channel.latest;
  }
  if (latest) latest->play(std::move(script), origin);
}

template <class Script, class Sensor>
std::shared_ptr<Sensor> SimulatedMotionSensors::make(Channel<Script, Sensor>& channel) {
  auto sensor = std::make_shared<Sensor>(runLoop_, channel.available);
  sensor->play(channel.script, channel.origin);
  channel.latest = sensor;
  ++channel.made;
  return sensor;
}

void SimulatedMotionSensors::setMotionScript(MotionScript script) {
  replaceScript(motion_, std::move(script));
}

void SimulatedMotionSensors::setAltitudeScript(AltitudeScript script) {
  replaceScript(altitude_, std::move(script));
}

void SimulatedMotionSensors::setActivityScript(MotionActivityScript script) {
  replaceScript(activity_, std::move(script));
}

void SimulatedMotionSensors::setGyroAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  motion_.available = available;
}

void SimulatedMotionSensors::setHasAltimeter(bool has) {
  const std::lock_guard lock(mutex_);
  hasAltimeter_ = has;
}

void SimulatedMotionSensors::setRelativeAltitudeAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  altitude_.available = available;
}

void SimulatedMotionSensors::setActivityAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  activity_.available = available;
}

std::shared_ptr<MotionManager> SimulatedMotionSensors::makeMotionManager() {
  const std::lock_guard lock(mutex_);
  return make(motion_);
}

std::shared_ptr<Altimeter> SimulatedMotionSensors::makeAltimeter() {
  const std::lock_guard lock(mutex_);
  if (!hasAltimeter_) return nullptr;
  return make(altitude_);
}

std::shared_ptr<MotionActivityManager> SimulatedMotionSensors::makeMotionActivityManager() {
  const std::lock_guard lock(mutex_);
  return make(activity_);
}

std::shared_ptr<SimulatedMotionManager> SimulatedMotionSensors::motionManager() const {
  const std::lock_guard lock(mutex_);
  return motion_.latest;
}

std::shared_ptr<SimulatedAltimeter> SimulatedMotionSensors::altimeter() const {
  const std::lock_guard lock(mutex_);
  return altitude_.latest;
}

std::shared_ptr<SimulatedMotionActivityManager> SimulatedMotionSensors::motionActivityManager()
    const {
  const std::lock_guard lock(mutex_);
  return activity_.latest;
}

std::size_t SimulatedMotionSensors::motionManagersMade() const {
  const std::lock_guard lock(mutex_);
  return motion_.made;
}

std::size_t SimulatedMotionSensors::altimetersMade() const {
  const std::lock_guard lock(mutex_);
  return altitude_.made;
}

std::size_t SimulatedMotionSensors::motionActivityManagersMade() const {
  const std::lock_guard lock(mutex_);
  return activity_.made;
}

}  // namespace trevalo::platform
