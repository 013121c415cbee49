#pragma once

namespace trevalo::platform {

// A latitude/longitude pair in degrees, latitude first.
struct Coordinate {
  double latitude = 0.0;
  double longitude = 0.0;

  // Latitude within [-90, 90] and longitude within [-180, 180].
  constexpr bool isValid() const noexcept {
    return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
  }

  constexpr bool operator==(const Coordinate&) const noexcept = default;
};

// The coordinate that stands for "no coordinate".
inline constexpr Coordinate kCoordinateInvalid{-180.0, -180.0};

}  // namespace trevalo::platform

namespace trevalo {
using platform::Coordinate;
using platform::kCoordinateInvalid;
}  // namespace trevalo
