#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "simulation/ReplayLocationManager.h"
#include "simulation/TraceSink.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace trevalo::simulation {

// The device of a replay, on a simulated platform: what a trace player hands over goes where
// the SDK would find it on a phone. Fixes and headings go into the replayed location manager,
// which lets through only what the SDK asked for (updates on, accuracy, distance filter,
// significant changes) and raises the crossings of the regions the SDK monitors; recorded
// accelerometer readings go to the accelerometer the SDK has switched on (and, for traces
// without readings, the chosen motion pattern plays there); Wi-Fi names become the platform's
// Wi-Fi name; activity reports go to the activity classifier the SDK listens to.
//
// Region crossings the recording device reported belong to regions of its own run: the replay
// raises its own from the fixes, so recorded crossings are counted and passed by.
//
// Everything on the platform's run loop (the trace player's thread).
class ReplayDevice final : public TraceSink {
 public:
  ReplayDevice(platform::SimulatedPlatform& platform,
               std::shared_ptr<ReplayLocationManager> locationManager);

  void fix(const Location& fix) override;
  void accelerometer(const AccelerometerSample& sample) override;
  void motion(MotionPattern pattern, const platform::MotionScript& script) override;
  void heading(const platform::Heading& heading) override;
  void wifi(const std::optional<std::string>& ssid) override;
  void activity(std::uint64_t activity) override;
  void region(const RegionCrossing& crossing) override;

  const std::shared_ptr<ReplayLocationManager>& locationManager() const noexcept {
    return locationManager_;
  }
  // Accelerometer readings the SDK took (its accelerometer was on).
  std::size_t readingsTaken() const noexcept { return readingsTaken_; }
  std::size_t recordedCrossingsPassed() const noexcept { return crossingsPassed_; }

  // The classifier's report for one of the SDK's activity values; unknown for any other.
  static platform::MotionActivity motionActivity(std::uint64_t activity);

 private:
  platform::SimulatedPlatform& platform_;
  std::shared_ptr<ReplayLocationManager> locationManager_;
  std::size_t readingsTaken_ = 0;
  std::size_t crossingsPassed_ = 0;
};

}  // namespace trevalo::simulation
