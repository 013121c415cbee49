#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace trevalo::testing {

// A gpsd replaying an NMEA log (gpsfake with its own gpsd) on a free loopback port, for tests
// of the gpsd location manager. gpsfake has been seen to outlive its gpsd for an hour and to
// ignore SIGTERM: it is always ended with SIGKILL by its process id, its gpsd too, and both
// are reaped (the test process becomes the subreaper of what gpsfake leaves behind).
class Gpsfake {
 public:
  // Why gpsd cannot run here at all (gpsfake or gpsd missing), or nothing when it can.
  static std::optional<std::string> unavailableReason();

  // Starts replaying `log`, one sentence every `cycleSeconds`, and waits until gpsd answers
  // (a failed expectation after 20 s). gpsd reads the log whether or not a client is there,
  // so the replay starts with 300 sentences without a fix (a receiver still searching), which
  // leave a client time to connect before the log's first fix.
  Gpsfake(const std::filesystem::path& log, double cycleSeconds);
  ~Gpsfake();
  Gpsfake(const Gpsfake&) = delete;
  Gpsfake& operator=(const Gpsfake&) = delete;

  const std::string& port() const noexcept { return port_; }
  // Kills gpsfake and its gpsd now (the port goes quiet), and reaps them.
  void kill();
  // Starts the same replay again on the same port, from the start of the log.
  void restart();

 private:
  void start();

  std::filesystem::path replay_;  // the lead-in and the log
  double cycleSeconds_;
  std::string port_;
  std::optional<ChildProcess> process_;
};

// One fix of an NMEA log: a recommended-minimum sentence (RMC) with a valid position.
struct NmeaFix {
  double time = 0.0;  // seconds since 1970, UTC
  double latitude = 0.0;
  double longitude = 0.0;
  double speed = -1.0;   // metres per second
  double course = -1.0;  // degrees
  double hdop = -1.0;    // horizontal dilution of precision of the same epoch's GGA sentence
};

// Every valid RMC fix of the log, in order.
std::vector<NmeaFix> readNmeaFixes(const std::filesystem::path& log);

}  // namespace trevalo::testing
