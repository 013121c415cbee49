#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "trevalo/platform/Error.h"
#include "trevalo/platform/SoftwareLocationManager.h"

namespace trevalo::platform {

class GpsdReceiver;

// The location manager of a machine with a GPS receiver, on gpsd (libgps, gpsd's JSON
// protocol). A thread of its own holds a session with gpsd while anything asks for fixes or
// headings, and closes it when nothing does, so gpsd can let the receiver rest. Every fix is
// pushed into the SoftwareLocationManager this class is, which applies the location-manager
// contract (see there):
//  - horizontal accuracy from the fix's error estimates: gpsd's horizontal estimate, else its
//    latitude and longitude estimates combined; a fix with neither is dropped;
//  - altitude above mean sea level on a 3D fix, with the vertical estimate as its accuracy;
//  - course and speed as reported, -1 when absent;
//  - headings from the receiver's track (true and magnetic), only while heading updates are
//    on; a receiver standing still reports no meaningful track.
// When gpsd goes away, or cannot be reached when fixes are first wanted, the delegate gets one
// error (kErrorConnectionLost or kErrorUnreachable) for the whole outage, and the manager keeps
// trying with a growing delay (Options). Its settings, monitored regions and filters are the
// manager's own and survive the outage unchanged.
class GpsdLocationManager final : public SoftwareLocationManager {
 public:
  static constexpr const char* kErrorDomain = "TrevaloGpsd";
  // gpsd did not answer at the configured address.
  static constexpr std::int64_t kErrorUnreachable = 1;
  // The session with gpsd broke (gpsd stopped or the connection dropped).
  static constexpr std::int64_t kErrorConnectionLost = 2;

  struct Options {
    std::string host = "localhost";
    std::string port = "2947";
    // The delay before trying again doubles from the minimum to the maximum while gpsd stays
    // away, in seconds.
    double minimumRetryDelay = 0.5;
    double maximumRetryDelay = 30.0;
  };

  static Error unreachableError();
  static Error connectionLostError();

  // Whether a gpsd answers at the options' address within `timeoutSeconds`.
  static bool answers(const Options& options, double timeoutSeconds = 1.0);

  // A null run loop, an empty host or port, or retry delays that are not positive and ordered
  // raise an invalid-argument Exception.
  static std::shared_ptr<GpsdLocationManager> make(std::shared_ptr<RunLoop> runLoop,
                                                   Options options);

  ~GpsdLocationManager() override;

  // Whether a session with gpsd is open right now.
  bool isConnected() const;

 protected:
  void demandChanged() override;

 private:
  struct Key {
    explicit Key() = default;
  };

 public:
  GpsdLocationManager(Key, std::shared_ptr<RunLoop> runLoop, const Options& options);

 private:
  std::unique_ptr<GpsdReceiver> receiver_;
};

}  // namespace trevalo::platform
