#pragma once

#include <cstddef>
#include <memory>
#include <mutex>

#include "trevalo/platform/RunLoop.h"
#include "trevalo/platform/simulated/AltitudeScript.h"
#include "trevalo/platform/simulated/MotionActivityScript.h"
#include "trevalo/platform/simulated/MotionScript.h"
#include "trevalo/platform/simulated/SimulatedAltimeter.h"
#include "trevalo/platform/simulated/SimulatedMotionActivityManager.h"
#include "trevalo/platform/simulated/SimulatedMotionManager.h"

namespace trevalo::platform {

// The simulated device's motion: what it does over time (scripts on one time line for all of
// its sensors) and which sensors it has. The platform's factories make a fresh sensor object
// here each time the SDK asks; each plays the scripts from wherever the device's time line
// is, as real sensors show the world as it is when they are switched on. By default the
// device has every sensor and does nothing (empty scripts: no samples).
//
// The latest object of each kind stays reachable, for scripting samples in directly and for
// assertions. Safe from any thread.
class SimulatedMotionSensors {
 public:
  explicit SimulatedMotionSensors(std::shared_ptr<RunLoop> runLoop);
  SimulatedMotionSensors(const SimulatedMotionSensors&) = delete;
  SimulatedMotionSensors& operator=(const SimulatedMotionSensors&) = delete;

  // Each script starts now, for the sensors made from now on and for the latest one made.
  void setMotionScript(MotionScript script);
  void setAltitudeScript(AltitudeScript script);
  void setActivityScript(MotionActivityScript script);

  // For the sensors made from now on.
  void setGyroAvailable(bool available);
  // Whether the platform has an altimeter at all; without one `makeAltimeter` gives nothing.
  void setHasAltimeter(bool has);
  void setRelativeAltitudeAvailable(bool available);
  void setActivityAvailable(bool available);

  std::shared_ptr<MotionManager> makeMotionManager();
  std::shared_ptr<Altimeter> makeAltimeter();
  std::shared_ptr<MotionActivityManager> makeMotionActivityManager();

  // The latest made (nothing before the first).
  std::shared_ptr<SimulatedMotionManager> motionManager() const;
  std::shared_ptr<SimulatedAltimeter> altimeter() const;
  std::shared_ptr<SimulatedMotionActivityManager> motionActivityManager() const;

  std::size_t motionManagersMade() const;
  std::size_t altimetersMade() const;
  std::size_t motionActivityManagersMade() const;

 private:
  // One kind of sensor: its script on the device's time line, whether the sensors made from
  // now on have it, and the latest one made.
  template <class Script, class Sensor>
  struct Channel {
    Script script;
    double origin = 0.0;
    bool available = true;
    std::shared_ptr<Sensor> latest;
    std::size_t made = 0;
  };

  double now() const { return runLoop_->clock().systemUptime(); }
  template <class Script, class Sensor>
  void replaceScript(Channel<Script, Sensor>& channel, Script script);
  // Under the lock.
  template <class Script, class Sensor>
  std::shared_ptr<Sensor> make(Channel<Script, Sensor>& channel);

  const std::shared_ptr<RunLoop> runLoop_;
  mutable std::mutex mutex_;
  Channel<MotionScript, SimulatedMotionManager> motion_;
  Channel<AltitudeScript, SimulatedAltimeter> altitude_;
  Channel<MotionActivityScript, SimulatedMotionActivityManager> activity_;
  bool hasAltimeter_ = true;
};

}  // namespace trevalo::platform
