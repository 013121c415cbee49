#pragma once

#include <optional>
#include <string>

#include "simulation/MotionPlan.h"
#include "simulation/Trace.h"
#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/Heading.h"
#include "trevalo/platform/Location.h"
#include "trevalo/platform/simulated/MotionScript.h"

namespace trevalo::simulation {

// Where a trace player puts what the recorded world does, each at its time: the replayed
// device decides what of it the SDK gets to see.
class TraceSink {
 public:
  virtual ~TraceSink() = default;

  virtual void fix(const Location& fix) = 0;
  // A recorded accelerometer reading.
  virtual void accelerometer(const AccelerometerSample& sample) = 0;
  // For traces without readings: from now on the device moves as `script` says, which lasts
  // until the next pattern (or the end of the trace).
  virtual void motion(MotionPattern pattern, const platform::MotionScript& script) = 0;
  virtual void heading(const platform::Heading& heading) = 0;
  virtual void wifi(const std::optional<std::string>& ssid) = 0;
  virtual void activity(std::uint64_t activity) = 0;
  virtual void region(const RegionCrossing& crossing) = 0;
};

}  // namespace trevalo::simulation
