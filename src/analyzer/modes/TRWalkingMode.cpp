#include "analyzer/modes/TRWalkingMode.h"

#include <utility>

namespace trevalo {

namespace {

// One value for the whole process, kept across mode changes: after driving, a return to walking
// switches back to the car at the first fast sample.
double gCarModeCount = 0.0;

// Below this a sample has not moved and leaves the count alone.
constexpr double kStill = 0.0000001;

}  // namespace

TRWalkingMode::TRWalkingMode(std::weak_ptr<TRModeDelegate> delegate,
                             std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

TRMode TRWalkingMode::processLocation(const std::shared_ptr<TRVellLocation>& location) {
  if (context()->geofenceManager) {
    context()->geofenceManager->processNewLocation(location->location.coordinate());
  }
  if (context()->isWalkedIndoors(*location)) {
    changeModeTo(TRModeBurst);
    return TRModeBurst;
  }
  if (detectIfInCarMode(*location)) {
    changeModeTo(TRModeCar);
    return TRModeCar;
  }
  return TRModeWalking;
}

bool TRWalkingMode::detectIfInCarMode(const TRVellLocation& location) const {
  if (location.calculatedSpeed > kCarSpeed &&
      location.location.horizontalAccuracy() < kCarAccuracy) {
    gCarModeCount += 1.0;
    if (gCarModeCount > kCarCeiling) {
      gCarModeCount = kCarCeiling;
      return true;
    }
    return gCarModeCount >= kCarThreshold;
  }
  if (location.distance > kStill) {
    gCarModeCount -= kCarDecay;
    if (gCarModeCount < 0.0) gCarModeCount = 0.0;
  }
  return gCarModeCount >= kCarThreshold;
}

double TRWalkingMode::carModeCount() {
  return gCarModeCount;
}

void TRWalkingMode::resetCarModeCount() {
  gCarModeCount = 0.0;
}

}  // namespace trevalo
