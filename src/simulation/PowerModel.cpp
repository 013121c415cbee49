#include "simulation/PowerModel.h"

namespace trevalo::simulation {

AccuracyClass PowerModel::classify(const LocationServiceState& state) noexcept {
  if (!state.updating) return AccuracyClass::kOff;
  // The platform's best accuracies are negative; an accuracy of 0 (a strategy record left
  // unset) asks for nothing coarser, so it counts as best too.
  const double accuracy = state.desiredAccuracy;
  if (accuracy <= 0.0) return AccuracyClass::kBest;
  if (accuracy <= 10.0) return AccuracyClass::kTenMeters;
  if (accuracy <= 100.0) return AccuracyClass::kHundredMeters;
  if (accuracy <= 1000.0) return AccuracyClass::kKilometer;
  return AccuracyClass::kThreeKilometers;
}

const char* PowerModel::name(AccuracyClass accuracy) noexcept {
  switch (accuracy) {
    case AccuracyClass::kOff:
      return "off";
    case AccuracyClass::kBest:
      return "best";
    case AccuracyClass::kTenMeters:
      return "10 m";
    case AccuracyClass::kHundredMeters:
      return "100 m";
    case AccuracyClass::kKilometer:
      return "1 km";
    case AccuracyClass::kThreeKilometers:
      return "3 km";
  }
  return "unknown";
}

double PowerModel::satellitePower(const LocationServiceState& state) const noexcept {
  switch (classify(state)) {
    case AccuracyClass::kBest:
      return best;
    case AccuracyClass::kTenMeters:
      return tenMeters;
    default:
      return 0.0;
  }
}

double PowerModel::power(const LocationServiceState& state) const noexcept {
  double total = satellitePower(state);
  switch (classify(state)) {
    case AccuracyClass::kHundredMeters:
      total += hundredMeters;
      break;
    case AccuracyClass::kKilometer:
      total += kilometer;
      break;
    case AccuracyClass::kThreeKilometers:
      total += threeKilometers;
      break;
    default:
      break;
  }
  if (state.significantChanges) total += significantChanges;
  if (!state.regions.empty()) total += regionMonitoring;
  if (state.headings) total += compass;
  return total;
}

}  // namespace trevalo::simulation
