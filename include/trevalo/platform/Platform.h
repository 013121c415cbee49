#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "trevalo/platform/Altimeter.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Clock.h"
#include "trevalo/platform/Device.h"
#include "trevalo/platform/Executor.h"
#include "trevalo/platform/FileSystem.h"
#include "trevalo/platform/Geocoder.h"
#include "trevalo/platform/HttpTransport.h"
#include "trevalo/platform/LocationManager.h"
#include "trevalo/platform/MotionActivityManager.h"
#include "trevalo/platform/MotionManager.h"
#include "trevalo/platform/NotificationCenter.h"
#include "trevalo/platform/ReachabilitySource.h"
#include "trevalo/platform/RunLoop.h"
#include "trevalo/platform/TextSource.h"
#include "trevalo/platform/UserDefaults.h"

namespace trevalo::platform {

// The services the SDK takes from its environment, bundled. One platform is installed for the
// whole process (`install`); the SDK reads every service from `Platform::current()`. Tests
// install a simulated platform per test; a process that installs none gets the system
// platform, whose run loop runs on a thread of its own.
class Platform {
 public:
  using LocationManagerFactory = std::function<std::shared_ptr<LocationManager>()>;
  using MotionManagerFactory = std::function<std::shared_ptr<MotionManager>()>;
  using AltimeterFactory = std::function<std::shared_ptr<Altimeter>()>;
  using MotionActivityManagerFactory = std::function<std::shared_ptr<MotionActivityManager>()>;
  using GeocoderFactory = std::function<std::shared_ptr<Geocoder>()>;

  struct Services {
    std::shared_ptr<Clock> clock;
    std::shared_ptr<RunLoop> runLoop;             // the SDK's main thread
    std::shared_ptr<Executor> operationExecutor;  // where operation queues run
    std::shared_ptr<Executor> globalQueue;        // fire-and-forget background work
    std::shared_ptr<FileSystem> fileSystem;
    std::filesystem::path documentsDirectory;  // where the SDK keeps its files
    std::shared_ptr<UserDefaults> userDefaults;
    std::shared_ptr<NotificationCenter> notificationCenter;
    std::shared_ptr<Device> device;
    std::shared_ptr<Application> application;
    LocationManagerFactory locationManagerFactory;
    TextSource wifiNetworkName;
    TextSource advertisingIdentifier;
    TextSource carrierName;
    std::shared_ptr<HttpTransport> httpTransport;
    std::shared_ptr<ReachabilitySource> reachabilitySource;
    // Motion sensors: a fresh object from each call. A platform without an altimeter leaves
    // its factory empty (or has it give nothing).
    MotionManagerFactory motionManagerFactory;
    AltimeterFactory altimeterFactory;
    MotionActivityManagerFactory motionActivityManagerFactory;
    // Reverse geocoding: a geocoder for each call.
    GeocoderFactory geocoderFactory;
  };

  // Every service must be given; a missing one raises an invalid-argument Exception.
  explicit Platform(Services services);
  virtual ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  static Platform& current();
  static std::shared_ptr<Platform> currentShared();
  // Installs `platform` for the process and returns the one it replaces (nothing installs the
  // system platform again on the next use). Not meant to race with code using the platform.
  static std::shared_ptr<Platform> install(std::shared_ptr<Platform> platform);

  const Clock& clock() const noexcept { return *services_.clock; }
  RunLoop& runLoop() const noexcept { return *services_.runLoop; }
  Executor& globalQueue() const noexcept { return *services_.globalQueue; }
  FileSystem& fileSystem() const noexcept { return *services_.fileSystem; }
  const std::filesystem::path& documentsDirectory() const noexcept {
    return services_.documentsDirectory;
  }
  UserDefaults& userDefaults() const noexcept { return *services_.userDefaults; }
  NotificationCenter& notificationCenter() const noexcept { return *services_.notificationCenter; }
  Device& device() const noexcept { return *services_.device; }
  Application& application() const noexcept { return *services_.application; }

  // For holders that must keep a service alive.
  const Services& services() const noexcept { return services_; }
  std::shared_ptr<Executor> operationExecutor() const { return services_.operationExecutor; }

  std::shared_ptr<LocationManager> makeLocationManager() const;

  // The transport may be replaced while the platform is in use (a test installing a real one,
  // say), so it is handed out shared: a request keeps the transport it was sent on.
  std::shared_ptr<HttpTransport> httpTransport() const;
  std::shared_ptr<ReachabilitySource> reachabilitySource() const {
    return services_.reachabilitySource;
  }
  std::shared_ptr<MotionManager> makeMotionManager() const;
  // Nothing when the platform has no altimeter.
  std::shared_ptr<Altimeter> makeAltimeter() const;
  std::shared_ptr<MotionActivityManager> makeMotionActivityManager() const;
  std::shared_ptr<Geocoder> makeGeocoder() const;

  std::optional<std::string> wifiNetworkName() const;
  std::optional<std::string> advertisingIdentifier() const;
  std::optional<std::string> carrierName() const;

 protected:
  enum class Source { kWifiNetworkName, kAdvertisingIdentifier, kCarrierName };
  void setSource(Source which, TextSource source);
  // A null transport raises an invalid-argument Exception.
  void setHttpTransport(std::shared_ptr<HttpTransport> transport);

 private:
  std::optional<std::string> read(const TextSource& source) const;

  Services services_;
  mutable std::mutex sourcesMutex_;
};

}  // namespace trevalo::platform
