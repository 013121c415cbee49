#include "strategies/LocationManagerStrategy.h"

#include <charconv>
#include <limits>

#include "trevalo/platform/LocationManager.h"

namespace trevalo {

namespace {

using namespace platform;

// Strategies with this interval keep going until something forces a change.
constexpr double kForever = std::numeric_limits<double>::max();
// The Off strategy's filter: further than any device moves.
constexpr double kNeverDistance = 0x1p63;

LocationManagerStrategy make(double desiredAccuracy, double distanceFilter, double timeInterval,
                             double headingFilter, bool compassOn) {
  LocationManagerStrategy strategy;
  strategy.distanceFilter = distanceFilter;
  strategy.activityType = kActivityTypeFitness;
  strategy.desiredAccuracy = desiredAccuracy;
  strategy.pausesLocationUpdatesAutomatically = false;
  strategy.timeInterval = timeInterval;
  strategy.startAction = LocationManagerStrategy::kStartActionApply;
  strategy.headingFilter = headingFilter;
  strategy.compassOn = compassOn;
  return strategy;
}

void appendNumber(std::string& text, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, result.ptr);
}

}  // namespace

LocationManagerStrategy LocationManagerStrategy::modeInitial() {
  return make(kLocationAccuracyNearestTenMeters, 4.0, kForever, 1.0, true);
}

LocationManagerStrategy LocationManagerStrategy::modeLowWalking() {
  return make(kLocationAccuracyNearestTenMeters, 4.0, 170.0, 1.0, true);
}

LocationManagerStrategy LocationManagerStrategy::modeHighWalking() {
  return make(kLocationAccuracyBest, 1.0, 3.0, 1.0, true);
}

LocationManagerStrategy LocationManagerStrategy::carMode() {
  return make(kLocationAccuracyThreeKilometers, 999.0, 170.0, 90.0, false);
}

LocationManagerStrategy LocationManagerStrategy::buildingModeMovingHigh() {
  return make(kLocationAccuracyNearestTenMeters, 4.0, 3.0, 90.0, false);
}

LocationManagerStrategy LocationManagerStrategy::buildingModeMovingLow() {
  return make(kLocationAccuracyThreeKilometers, 999.0, 170.0, 90.0, false);
}

LocationManagerStrategy LocationManagerStrategy::buildingModeStill() {
  return make(kLocationAccuracyThreeKilometers, 999.0, 170.0, 90.0, false);
}

LocationManagerStrategy LocationManagerStrategy::modeOff() {
  auto strategy = make(kLocationAccuracyThreeKilometers, kNeverDistance, 17.0, 90.0, false);
  strategy.startAction = kStartActionStopUpdates;
  return strategy;
}

LocationManagerStrategy LocationManagerStrategy::burstMode() {
  return make(kLocationAccuracyBest, kDistanceFilterNone, kForever, 0.0, true);
}

LocationManagerStrategy LocationManagerStrategy::walkingVisitModeMovingHigh() {
  return make(kLocationAccuracyBest, 1.0, 3.0, 1.0, true);
}

LocationManagerStrategy LocationManagerStrategy::walkingVisitModeMovingLow() {
  return make(kLocationAccuracyNearestTenMeters, 4.0, 170.0, 1.0, true);
}

LocationManagerStrategy LocationManagerStrategy::geofenceMode() {
  // Geofence sleep switches location updates off, so none of the location settings matter.
  LocationManagerStrategy strategy;
  strategy.timeInterval = kForever;
  strategy.startAction = kStartActionGeofenceSleep;
  return strategy;
}

std::string LocationManagerStrategy::strForActivityType(std::int64_t activityType) {
  switch (activityType) {
    case kActivityTypeOther:
      return "Other";
    case kActivityTypeAutomotiveNavigation:
      return "AutomativeNavigation";
    case kActivityTypeFitness:
      return "Fitness";
    case kActivityTypeOtherNavigation:
      return "OtherNavigation";
    default:
      return "Unknown";
  }
}

std::string LocationManagerStrategy::description() const {
  std::string text = "{Strategy: distanceFilter:";
  appendNumber(text, distanceFilter);
  text += " activityType:" + strForActivityType(activityType) + " accuracy:";
  appendNumber(text, desiredAccuracy);
  text += pausesLocationUpdatesAutomatically ? " pausesAutomatically:1" : " pausesAutomatically:0";
  text += " timeInterval:";
  appendNumber(text, timeInterval);
  return text + "}";
}

}  // namespace trevalo
