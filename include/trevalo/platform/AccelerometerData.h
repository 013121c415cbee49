#pragma once

namespace trevalo::platform {

// Acceleration along the device's three axes, in g (1 g = 9.81 m/s²).
struct Acceleration {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  constexpr bool operator==(const Acceleration&) const noexcept = default;
};

// One accelerometer reading. The timestamp counts seconds since the device started (the
// clock's `systemUptime`), not since 1970: sensors stamp their samples on that time base.
struct AccelerometerData {
  Acceleration acceleration;
  double timestamp = 0.0;

  constexpr bool operator==(const AccelerometerData&) const noexcept = default;
};

}  // namespace trevalo::platform
