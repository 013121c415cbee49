#include "trevalo/platform/linux/SystemPlatform.h"

#include <cstdlib>

#include "platform/DefaultPlatform.h"
#include "platform/ThreadPool.h"
#include "platform/linux/HttpGeocoder.h"
#include "platform/linux/SilentMotionManager.h"
#include "platform/linux/SpeedActivityManager.h"
#include "platform/linux/UnavailableGeocoder.h"
#include "trevalo/platform/LocalFileSystem.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"
#include "trevalo/platform/linux/LinuxReachabilitySource.h"
#include "trevalo/platform/linux/LinuxWifiNetworkName.h"
#include "trevalo/platform/linux/SystemClock.h"
#include "trevalo/platform/simulated/SimulatedLocationManager.h"

namespace trevalo::platform {

namespace {
constexpr std::size_t kOperationThreads = 4;
constexpr std::size_t kBackgroundThreads = 2;
// How long making a location manager waits for gpsd's greeting before taking the
// application-fed one.
constexpr double kGpsdProbeSeconds = 1.0;
}  // namespace

std::filesystem::path SystemPlatform::defaultDocumentsDirectory() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    return std::filesystem::path(data) / "trevalo";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".local" / "share" / "trevalo";
  }
  return std::filesystem::current_path() / "trevalo-data";
}

std::shared_ptr<SystemPlatform> SystemPlatform::make(Options options) {
  const auto documents = options.documentsDirectory.value_or(defaultDocumentsDirectory());
  auto clock = std::make_shared<SystemClock>(options.clockRate);
  auto runLoop = std::make_shared<RealTimeRunLoop>(clock);
  auto fileSystem = std::make_shared<LocalFileSystem>();
  auto notificationCenter = std::make_shared<NotificationCenter>();

  Services services;
  services.clock = clock;
  services.runLoop = runLoop;
  services.operationExecutor = std::make_shared<ThreadPool>(kOperationThreads);
  services.globalQueue = std::make_shared<ThreadPool>(kBackgroundThreads);
  services.fileSystem = fileSystem;
  services.documentsDirectory = documents;
  services.userDefaults = std::make_shared<UserDefaults>(fileSystem, documents / "user-defaults");
  services.notificationCenter = notificationCenter;
  services.device = std::make_shared<Device>(fileSystem, documents / "vendor-identifier",
                                             Device::describeSystem());
  services.application = std::make_shared<Application>(notificationCenter);
  // Without motion sensors, the activity comes from the speed of gpsd's fixes: the one
  // classifier is fed by whichever gpsd manager was made last.
  const auto speedActivity = std::make_shared<SpeedActivityManager>();
  services.locationManagerFactory =
      [runLoop, gpsd = options.gpsd,
       weakActivity = std::weak_ptr(speedActivity)]() -> std::shared_ptr<LocationManager> {
    if (gpsd && GpsdLocationManager::answers(*gpsd, kGpsdProbeSeconds)) {
      auto manager = GpsdLocationManager::make(runLoop, *gpsd);
      if (const auto activity = weakActivity.lock()) {
        manager->setFixObserver([weakActivity](const std::vector<Location>& fixes) {
          if (const auto classifier = weakActivity.lock()) classifier->observe(fixes);
        });
        activity->setAvailable(true);
      }
      return manager;
    }
    return std::make_shared<SimulatedLocationManager>(runLoop);
  };
  services.wifiNetworkName = LinuxWifiNetworkName::source(std::make_shared<LinuxWifiNetworkName>());
  const auto transport = std::make_shared<CurlHttpTransport>();
  services.httpTransport = transport;
  services.reachabilitySource = std::make_shared<LinuxReachabilitySource>();
  // No motion sensors on Linux: a silent accelerometer and gyroscope and no altimeter, unless
  // the application brings sensors of its own.
  services.motionManagerFactory = std::move(options.motionManagerFactory);
  if (!services.motionManagerFactory) {
    services.motionManagerFactory = [] { return std::make_shared<SilentMotionManager>(); };
  }
  services.altimeterFactory = std::move(options.altimeterFactory);
  services.motionActivityManagerFactory = std::move(options.motionActivityManagerFactory);
  if (!services.motionActivityManagerFactory) {
    services.motionActivityManagerFactory = [speedActivity] { return speedActivity; };
  }

  if (options.reverseGeocodingBaseUrl) {
    services.geocoderFactory = [runLoop, transport, base = *options.reverseGeocodingBaseUrl] {
      return std::make_shared<HttpGeocoder>(runLoop, transport, base);
    };
  } else {
    // No service named: every request is answered at once with an error saying so, and the
    // SDK's callers take their no-geocoder path.
    services.geocoderFactory = [runLoop] { return std::make_shared<UnavailableGeocoder>(runLoop); };
  }

  auto platform = std::make_shared<SystemPlatform>(Key{}, std::move(services), runLoop);
  if (options.runLoopOnOwnThread) runLoop->startThread();
  return platform;
}

SystemPlatform::SystemPlatform(Key, Services services, std::shared_ptr<RealTimeRunLoop> runLoop)
    : Platform(std::move(services)), runLoop_(std::move(runLoop)) {}

SystemPlatform::~SystemPlatform() {
  // The loop's thread runs SDK code that uses the other services: it ends first.
  runLoop_->stopThread();
}

void SystemPlatform::setWifiNetworkNameSource(TextSource source) {
  setSource(Source::kWifiNetworkName, std::move(source));
}

void SystemPlatform::setAdvertisingIdentifierSource(TextSource source) {
  setSource(Source::kAdvertisingIdentifier, std::move(source));
}

void SystemPlatform::setCarrierNameSource(TextSource source) {
  setSource(Source::kCarrierName, std::move(source));
}

std::shared_ptr<Platform> makeDefaultPlatform() {
  return SystemPlatform::make();
}

}  // namespace trevalo::platform
