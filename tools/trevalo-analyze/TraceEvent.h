#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trevalo::tools {

// One input line of a trace.
struct TraceEvent {
  enum class Type { kFix, kActivity, kWifi, kWifiCheck, kRegionExit };

  double t = 0.0;  // seconds since 1970
  Type type = Type::kFix;
  // kFix
  double latitude = 0.0;
  double longitude = 0.0;
  double accuracy = 0.0;
  double course = -1.0;
  double speed = -1.0;
  // kActivity
  std::uint64_t activity = 0;
  // kWifi: the network name from now on; nothing when off Wi-Fi
  std::optional<std::string> ssid;
};

// Why a line is not a valid event.
class TraceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads one line. Raises TraceError with a message that names the offending member.
TraceEvent parseTraceEvent(std::string_view line);

}  // namespace trevalo::tools
