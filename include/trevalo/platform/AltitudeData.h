#pragma once

namespace trevalo::platform {

// One altimeter reading: the change in altitude, in metres, since the first reading of the
// current stream, stamped in seconds since the device started.
struct AltitudeData {
  double relativeAltitude = 0.0;
  double timestamp = 0.0;

  constexpr bool operator==(const AltitudeData&) const noexcept = default;
};

}  // namespace trevalo::platform
