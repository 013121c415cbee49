#pragma once

#include <cstdint>

namespace trevalo {

// The analyzer's detection modes. A plain enum with a fixed width, so that the enumerators are
// usable unqualified and a value outside them (read from an old archive, say) stays
// representable and shows as "unknown" rather than being undefined.
enum TRMode : std::int32_t {
  TRModeInitial = 0,
  TRModeWalking = 1,
  TRModeBurst = 2,
  TRModeCar = 3,
  TRModeVisit = 4,
  TRModeVisitWalking = 5,
  TRModeGeofence = 6,
  TRModeWifi = 7,
};

}  // namespace trevalo
