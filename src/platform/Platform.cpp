#include "trevalo/platform/Platform.h"

#include <atomic>

#include "platform/DefaultPlatform.h"
#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

namespace {

struct Installation {
  std::mutex mutex;
  std::shared_ptr<Platform> platform;
  std::atomic<Platform*> fast{nullptr};
};

Installation& installation() {
  static Installation instance;
  return instance;
}

}  // namespace

Platform::Platform(Services services) : services_(std::move(services)) {
  const bool complete = services_.clock && services_.runLoop && services_.operationExecutor &&
                        services_.globalQueue && services_.fileSystem && services_.userDefaults &&
                        services_.notificationCenter && services_.device && services_.application &&
                        services_.locationManagerFactory && services_.httpTransport &&
                        services_.reachabilitySource;
  if (!complete) throw Exception(Exception::kInvalidArgument, "a platform service is missing");
  if (!services_.motionManagerFactory || !services_.motionActivityManagerFactory) {
    throw Exception(Exception::kInvalidArgument, "a motion service is missing");
  }
  if (!services_.geocoderFactory) {
    throw Exception(Exception::kInvalidArgument, "the geocoder is missing");
  }
}

Platform::~Platform() = default;

Platform& Platform::current() {
  if (Platform* platform = installation().fast.load(std::memory_order_acquire)) return *platform;
  return *currentShared();
}

std::shared_ptr<Platform> Platform::currentShared() {
  auto& state = installation();
  const std::lock_guard lock(state.mutex);
  if (!state.platform) {
    state.platform = makeDefaultPlatform();
    state.fast.store(state.platform.get(), std::memory_order_release);
  }
  return state.platform;
}

std::shared_ptr<Platform> Platform::install(std::shared_ptr<Platform> platform) {
  auto& state = installation();
  const std::lock_guard lock(state.mutex);
  state.fast.store(platform.get(), std::memory_order_release);
  std::swap(state.platform, platform);
  return platform;
}

std::shared_ptr<LocationManager> Platform::makeLocationManager() const {
  return services_.locationManagerFactory();
}

std::shared_ptr<MotionManager> Platform::makeMotionManager() const {
  return services_.motionManagerFactory();
}

std::shared_ptr<Altimeter> Platform::makeAltimeter() const {
  return services_.altimeterFactory ? services_.altimeterFactory() : nullptr;
}

std::shared_ptr<MotionActivityManager> Platform::makeMotionActivityManager() const {
  return services_.motionActivityManagerFactory();
}

std::shared_ptr<Geocoder> Platform::makeGeocoder() const {
  auto geocoder = services_.geocoderFactory();
  if (!geocoder)
    throw Exception(Exception::kInternalInconsistency, "the platform made no geocoder");
  return geocoder;
}

void Platform::setSource(Source which, TextSource source) {
  const std::lock_guard lock(sourcesMutex_);
  switch (which) {
    case Source::kWifiNetworkName:
      services_.wifiNetworkName = std::move(source);
      break;
    case Source::kAdvertisingIdentifier:
      services_.advertisingIdentifier = std::move(source);
      break;
    case Source::kCarrierName:
      services_.carrierName = std::move(source);
      break;
  }
}

std::shared_ptr<HttpTransport> Platform::httpTransport() const {
  const std::lock_guard lock(sourcesMutex_);
  return services_.httpTransport;
}

void Platform::setHttpTransport(std::shared_ptr<HttpTransport> transport) {
  if (!transport) throw Exception(Exception::kInvalidArgument, "the HTTP transport is missing");
  // The one replaced is released outside the lock: its destruction may complete requests.
  const std::lock_guard lock(sourcesMutex_);
  services_.httpTransport.swap(transport);
}

std::optional<std::string> Platform::read(const TextSource& source) const {
  TextSource copy;
  {
    const std::lock_guard lock(sourcesMutex_);
    copy = source;
  }
  return copy ? copy() : std::nullopt;
}

std::optional<std::string> Platform::wifiNetworkName() const {
  return read(services_.wifiNetworkName);
}

std::optional<std::string> Platform::advertisingIdentifier() const {
  return read(services_.advertisingIdentifier);
}

std::optional<std::string> Platform::carrierName() const {
  return read(services_.carrierName);
}

}  // namespace trevalo::platform
