#include "trevalo/platform/simulated/SimulatedPlatform.h"

#include "platform/RunLoopExecutor.h"
#include "trevalo/platform/LocalFileSystem.h"

namespace trevalo::platform {

struct SimulatedPlatform::Parts {
  Services services;
  std::shared_ptr<VirtualClock> clock;
  std::shared_ptr<VirtualTimeRunLoop> runLoop;
  std::shared_ptr<SimulatedLocationManager> locationManager;
  std::shared_ptr<SimulatedHttpTransport> httpTransport;
  std::shared_ptr<SimulatedReachabilitySource> reachabilitySource;
  std::shared_ptr<SimulatedMotionSensors> motionSensors;
  std::shared_ptr<SimulatedGeocoder> geocoder;
  SettableText wifi;
  SettableText advertisingIdentifier;
  SettableText carrier;
};

std::shared_ptr<SimulatedPlatform> SimulatedPlatform::make(Options options) {
  Parts parts;
  parts.clock = std::make_shared<VirtualClock>(options.start);
  parts.runLoop = std::make_shared<VirtualTimeRunLoop>(parts.clock);
  parts.locationManager = std::make_shared<SimulatedLocationManager>(parts.runLoop);
  parts.motionSensors = std::make_shared<SimulatedMotionSensors>(parts.runLoop);
  std::shared_ptr<FileSystem> fileSystem = options.fileSystem;
  if (!fileSystem) fileSystem = std::make_shared<LocalFileSystem>();
  auto notificationCenter = std::make_shared<NotificationCenter>();
  std::shared_ptr<Executor> executor = std::make_shared<RunLoopExecutor>(parts.runLoop);
  const auto& documents = options.documentsDirectory;

  Services& services = parts.services;
  services.clock = parts.clock;
  services.runLoop = parts.runLoop;
  services.operationExecutor = options.operationExecutor ? options.operationExecutor : executor;
  services.globalQueue = options.globalQueue ? options.globalQueue : executor;
  services.fileSystem = fileSystem;
  services.documentsDirectory = documents;
  services.userDefaults = std::make_shared<UserDefaults>(fileSystem, documents / "user-defaults");
  services.notificationCenter = notificationCenter;
  services.device = std::make_shared<Device>(
      fileSystem, documents / "vendor-identifier",
      DeviceDescription{"Simulated Device", "Linux", "6.1", "Computer", "x86_64"});
  services.application = std::make_shared<Application>(notificationCenter);
  services.locationManagerFactory = [manager = parts.locationManager] { return manager; };
  services.wifiNetworkName = parts.wifi.source();
  services.advertisingIdentifier = parts.advertisingIdentifier.source();
  services.carrierName = parts.carrier.source();
  parts.httpTransport = std::make_shared<SimulatedHttpTransport>();
  parts.reachabilitySource = std::make_shared<SimulatedReachabilitySource>();
  services.httpTransport = parts.httpTransport;
  services.reachabilitySource = parts.reachabilitySource;
  services.motionManagerFactory = [sensors = parts.motionSensors] {
    return sensors->makeMotionManager();
  };
  services.altimeterFactory = [sensors = parts.motionSensors] { return sensors->makeAltimeter(); };
  services.motionActivityManagerFactory = [sensors = parts.motionSensors] {
    return sensors->makeMotionActivityManager();
  };
  parts.geocoder = std::make_shared<SimulatedGeocoder>(parts.runLoop);
  services.geocoderFactory = [geocoder = parts.geocoder] { return geocoder; };

  return std::make_shared<SimulatedPlatform>(Key{}, std::move(parts));
}

SimulatedPlatform::SimulatedPlatform(Key, Parts parts)
    : Platform(std::move(parts.services)),
      clock_(std::move(parts.clock)),
      runLoop_(std::move(parts.runLoop)),
      locationManager_(std::move(parts.locationManager)),
      httpTransport_(std::move(parts.httpTransport)),
      reachabilitySource_(std::move(parts.reachabilitySource)),
      motionSensors_(std::move(parts.motionSensors)),
      geocoder_(std::move(parts.geocoder)),
      wifi_(parts.wifi),
      advertisingIdentifier_(parts.advertisingIdentifier),
      carrier_(parts.carrier) {}

}  // namespace trevalo::platform
