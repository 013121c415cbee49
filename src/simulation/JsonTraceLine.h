#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Heading.h"
#include "trevalo/platform/Location.h"

namespace trevalo::simulation {

// Why a line of a JSON Lines trace is not a valid record (the message names the member).
class TraceLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One line of a JSON Lines trace: a JSON object with the time "t" (seconds since 1970) and a
// "type":
//   fix          "lat", "lng" (degrees), "acc" (m); optional "course", "speed", "alt", "vacc"
//   activity     "value": an activity mode (non-negative integer)
//   wifi         "ssid": the network joined, or null when off Wi-Fi
//   wifi_check   (the analyzer re-reads the Wi-Fi name; only `trevalo analyze` uses it)
//   region_enter, region_exit   optional "id": the region's identifier
//   accel        "x", "y", "z" (g); or "hz" and "samples": [[x, y, z], ...], the first at "t"
//   heading      "magnetic" (degrees); optional "true" and "acc"
struct JsonTraceLine {
  enum class Type {
    kFix,
    kActivity,
    kWifi,
    kWifiCheck,
    kRegionEnter,
    kRegionExit,
    kAccelerometer,
    kHeading
  };

  Date time;
  Type type = Type::kFix;
  std::optional<Location> fix;
  std::uint64_t activity = 0;
  std::optional<std::string> ssid;
  std::string regionIdentifier;
  std::vector<platform::Acceleration> samples;  // kAccelerometer
  double sampleRate = 0.0;                      // samples per second; 0 for a single sample
  platform::Heading heading;                    // kHeading

  // Raises TraceLineError. Fix and accelerometer lines of the usual shape take a quick way
  // (FastTraceLine); every other line is read as a JSON document.
  static JsonTraceLine parse(std::string_view line);
  // Always as a JSON document.
  static JsonTraceLine parseDocument(std::string_view line);
};

}  // namespace trevalo::simulation
