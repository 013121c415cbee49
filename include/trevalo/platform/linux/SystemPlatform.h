#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "trevalo/platform/Platform.h"
#include "trevalo/platform/RealTimeRunLoop.h"
#include "trevalo/platform/linux/GpsdLocationManager.h"

namespace trevalo::platform {

// The platform of a real process: the system clock, a real-time run loop, thread pools for
// operation queues and background work, files in the documents directory, and the device
// described by the running system. HTTP goes through libcurl (CurlHttpTransport) and
// reachability comes from the kernel (LinuxReachabilitySource).
//
// Location fixes come from gpsd (GpsdLocationManager) when it answers at the configured
// address as a location manager is made; otherwise from a SimulatedLocationManager that the
// application feeds from its own source. The Wi-Fi network name comes from the kernel
// (LinuxWifiNetworkName) unless the application sets a source of its own; advertising
// identifier and carrier are absent until the application supplies sources for them. Reverse
// geocoding asks a service in the common reverse-geocoding format
// (<base>/reverse?format=jsonv2&lat=&lon=) when the application names one; without one every
// request is answered with Geocoder::unavailableError().
class SystemPlatform final : public Platform {
 public:
  struct Options {
    // Default: $XDG_DATA_HOME/trevalo, else ~/.local/share/trevalo.
    std::optional<std::filesystem::path> documentsDirectory;
    // Run the loop on a thread the platform starts; otherwise the application calls
    // realTimeRunLoop().run() on a thread of its choosing.
    bool runLoopOnOwnThread = true;
    // Motion sensors of the application's own, if it has any. Linux itself has none: without
    // these the platform has a motion manager that reports no accelerometer or gyroscope and
    // never delivers a sample, and no altimeter. Its activity classifier reads the speed of
    // gpsd's fixes (still, on foot, in a vehicle); it is available when the location manager
    // is gpsd's, and the SDK uses it when started with "use_ios_motion_activity".
    MotionManagerFactory motionManagerFactory = nullptr;
    AltimeterFactory altimeterFactory = nullptr;
    MotionActivityManagerFactory motionActivityManagerFactory = nullptr;
    // Where gpsd is asked for fixes (host, port, retry delays); nothing keeps the
    // application-fed manager even when a gpsd runs.
    std::optional<GpsdLocationManager::Options> gpsd = GpsdLocationManager::Options{};
    // The base URL of the reverse-geocoding service ("https://geo.example.org/").
    std::optional<std::string> reverseGeocodingBaseUrl = std::nullopt;
    // How many times faster than real time the platform's clock runs (SystemClock): 1 for a
    // real device; more to play a recorded receiver log faster through gpsfake.
    double clockRate = 1.0;
  };

  static std::shared_ptr<SystemPlatform> make(Options options);
  static std::shared_ptr<SystemPlatform> make() { return make(Options{}); }
  static std::filesystem::path defaultDocumentsDirectory();

  RealTimeRunLoop& realTimeRunLoop() const noexcept { return *runLoop_; }

  void setWifiNetworkNameSource(TextSource source);
  void setAdvertisingIdentifierSource(TextSource source);
  void setCarrierNameSource(TextSource source);

 private:
  struct Key {
    explicit Key() = default;
  };

 public:
  SystemPlatform(Key, Services services, std::shared_ptr<RealTimeRunLoop> runLoop);
  ~SystemPlatform() override;

 private:
  std::shared_ptr<RealTimeRunLoop> runLoop_;
};

}  // namespace trevalo::platform
