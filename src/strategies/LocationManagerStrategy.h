#pragma once

#include <cstdint>
#include <string>

namespace trevalo {

// One complete set of location-manager settings, with how long the state machine keeps it and
// what entering it does. A plain value: the state machine keeps one per strategy type and
// hands copies to its delegate.
struct LocationManagerStrategy {
  // What applying the strategy does.
  static constexpr std::int32_t kStartActionApply = 0;
  static constexpr std::int32_t kStartActionStopUpdates = 1;
  static constexpr std::int32_t kStartActionGeofenceSleep = 2;

  double distanceFilter = 0.0;    // metres
  std::int64_t activityType = 0;  // the location manager's activity type
  double desiredAccuracy = 0.0;   // metres, or one of the platform's accuracy constants
  bool pausesLocationUpdatesAutomatically = false;
  double timeInterval = 0.0;     // seconds before the state machine moves on
  std::int32_t startAction = 0;  // one of kStartAction...
  double headingFilter = 0.0;    // degrees
  bool compassOn = false;

  // The presets; each call gives a new record.
  static LocationManagerStrategy modeInitial();
  static LocationManagerStrategy modeLowWalking();
  static LocationManagerStrategy modeHighWalking();
  static LocationManagerStrategy carMode();
  static LocationManagerStrategy buildingModeMovingHigh();
  static LocationManagerStrategy buildingModeMovingLow();
  static LocationManagerStrategy buildingModeStill();
  static LocationManagerStrategy modeOff();
  static LocationManagerStrategy burstMode();
  static LocationManagerStrategy walkingVisitModeMovingHigh();
  static LocationManagerStrategy walkingVisitModeMovingLow();
  static LocationManagerStrategy geofenceMode();

  // "Other", "AutomativeNavigation", "Fitness", "OtherNavigation", or "Unknown".
  static std::string strForActivityType(std::int64_t activityType);

  // "{Strategy: distanceFilter:4 activityType:Fitness accuracy:10 pausesAutomatically:0
  // timeInterval:170}" (on one line).
  std::string description() const;

  bool operator==(const LocationManagerStrategy&) const = default;
};

}  // namespace trevalo
