#pragma once

#include <filesystem>
#include <memory>

#include "trevalo/platform/Platform.h"
#include "trevalo/platform/TextSource.h"
#include "trevalo/platform/simulated/SimulatedGeocoder.h"
#include "trevalo/platform/simulated/SimulatedHttpTransport.h"
#include "trevalo/platform/simulated/SimulatedLocationManager.h"
#include "trevalo/platform/simulated/SimulatedMotionSensors.h"
#include "trevalo/platform/simulated/SimulatedReachabilitySource.h"
#include "trevalo/platform/simulated/VirtualClock.h"
#include "trevalo/platform/simulated/VirtualTimeRunLoop.h"

namespace trevalo::platform {

// The platform of tests and replays: virtual time on one thread (operation queues and the
// global queue run as tasks of the virtual-time run loop), real files in a given documents
// directory, a simulated device, one simulated location manager, scripted motion sensors
// (`motionSensors`), settable Wi-Fi name, advertising identifier and carrier (all absent at
// first), a simulated HTTP transport that tests answer (or a real one installed with
// setHttpTransport), a simulated reachability source and a scripted geocoder.
class SimulatedPlatform final : public Platform {
 public:
  struct Options {
    std::filesystem::path documentsDirectory;
    Date start = Date(1767225600.0);  // 2026-01-01T00:00:00Z
    // Replacements for tests that need them (a file system that fails, operation queues on
    // real threads); by default the local file system and the run loop for both executors.
    std::shared_ptr<FileSystem> fileSystem = nullptr;
    std::shared_ptr<Executor> operationExecutor = nullptr;
    std::shared_ptr<Executor> globalQueue = nullptr;
  };

  static std::shared_ptr<SimulatedPlatform> make(Options options);

  VirtualTimeRunLoop& virtualRunLoop() const noexcept { return *runLoop_; }
  VirtualClock& virtualClock() const noexcept { return *clock_; }
  SimulatedLocationManager& locationManager() const noexcept { return *locationManager_; }
  std::shared_ptr<SimulatedLocationManager> sharedLocationManager() const {
    return locationManager_;
  }

  // The simulated transport made with the platform; it stays reachable here after another
  // transport was installed.
  SimulatedHttpTransport& simulatedHttpTransport() const noexcept { return *httpTransport_; }
  using Platform::setHttpTransport;
  SimulatedReachabilitySource& simulatedReachabilitySource() const noexcept {
    return *reachabilitySource_;
  }
  SimulatedMotionSensors& motionSensors() const noexcept { return *motionSensors_; }
  // The one geocoder every makeGeocoder() call hands out.
  SimulatedGeocoder& geocoder() const noexcept { return *geocoder_; }

  SettableText& wifiNetworkNameText() noexcept { return wifi_; }
  SettableText& advertisingIdentifierText() noexcept { return advertisingIdentifier_; }
  SettableText& carrierNameText() noexcept { return carrier_; }

 private:
  struct Key {
    explicit Key() = default;
  };
  struct Parts;

 public:
  SimulatedPlatform(Key, Parts parts);

 private:
  std::shared_ptr<VirtualClock> clock_;
  std::shared_ptr<VirtualTimeRunLoop> runLoop_;
  std::shared_ptr<SimulatedLocationManager> locationManager_;
  std::shared_ptr<SimulatedHttpTransport> httpTransport_;
  std::shared_ptr<SimulatedReachabilitySource> reachabilitySource_;
  std::shared_ptr<SimulatedMotionSensors> motionSensors_;
  std::shared_ptr<SimulatedGeocoder> geocoder_;
  SettableText wifi_;
  SettableText advertisingIdentifier_;
  SettableText carrier_;
};

}  // namespace trevalo::platform
