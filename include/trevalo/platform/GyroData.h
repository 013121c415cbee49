#pragma once

namespace trevalo::platform {

// Rotation rate around the device's three axes, in radians per second.
struct RotationRate {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  constexpr bool operator==(const RotationRate&) const noexcept = default;
};

// One gyroscope reading, stamped in seconds since the device started.
struct GyroData {
  RotationRate rotationRate;
  double timestamp = 0.0;

  constexpr bool operator==(const GyroData&) const noexcept = default;
};

}  // namespace trevalo::platform
