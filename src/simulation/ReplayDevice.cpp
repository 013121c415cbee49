#include "simulation/ReplayDevice.h"

#include <utility>

#include "trevalo/utils/TRActivityMode.h"

namespace trevalo::simulation {

ReplayDevice::ReplayDevice(platform::SimulatedPlatform& platform,
                           std::shared_ptr<ReplayLocationManager> locationManager)
    : platform_(platform), locationManager_(std::move(locationManager)) {}

void ReplayDevice::fix(const Location& fix) {
  locationManager_->pushLocation(fix);
}

void ReplayDevice::accelerometer(const AccelerometerSample& sample) {
  const auto manager = platform_.motionSensors().motionManager();
  if (!manager) return;
  // Sensors stamp their readings on the device's uptime; the reading is handed over at its time.
  const platform::AccelerometerData data{sample.acceleration, platform_.clock().systemUptime()};
  if (manager->deliverAccelerometerData(data)) ++readingsTaken_;
}

void ReplayDevice::motion(MotionPattern, const platform::MotionScript& script) {
  platform_.motionSensors().setMotionScript(script);
}

void ReplayDevice::heading(const platform::Heading& heading) {
  locationManager_->pushHeading(heading);
}

void ReplayDevice::wifi(const std::optional<std::string>& ssid) {
  platform_.wifiNetworkNameText().set(ssid);
}

void ReplayDevice::activity(std::uint64_t activity) {
  if (const auto classifier = platform_.motionSensors().motionActivityManager()) {
    classifier->deliverActivity(motionActivity(activity));
  }
}

void ReplayDevice::region(const RegionCrossing&) {
  ++crossingsPassed_;
}

platform::MotionActivity ReplayDevice::motionActivity(std::uint64_t activity) {
  platform::MotionActivity result;
  switch (activity) {
    case TRActivityModeStationary:
      result.stationary = true;
      break;
    case TRActivityModeWalking:
      result.walking = true;
      break;
    case TRActivityModeRunning:
      result.running = true;
      break;
    case TRActivityModeCycling:
      result.cycling = true;
      break;
    case TRActivityModeAutomotive:
      result.automotive = true;
      break;
    default:
      result.unknown = true;
      break;
  }
  return result;
}

}  // namespace trevalo::simulation
