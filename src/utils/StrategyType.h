#pragma once

#include <cstdint>

namespace trevalo {

// The location-manager strategies the state machine moves between. A plain enum with a fixed
// width, so that any 32-bit value (an unknown one shows as "Unknown") stays representable.
enum StrategyType : std::int32_t {
  StrategyTypeUnset = -1,
  StrategyTypeInitial = 0,
  StrategyTypeLowWalking = 1,
  StrategyTypeHighWalking = 2,
  StrategyTypeCar = 3,
  StrategyTypeBuildingModeMovingHigh = 4,
  StrategyTypeBuildingModeMovingLow = 5,
  StrategyTypeBuildingModeStill = 6,
  StrategyTypeOff = 7,
  StrategyTypeBurst = 8,
  StrategyTypeWifi = 9,
  StrategyTypeVisitWalkingHigh = 10,
  StrategyTypeVisitWalkingLow = 11,
  StrategyTypeGeofence = 12,
};

}  // namespace trevalo
