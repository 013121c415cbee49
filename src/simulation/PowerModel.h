#pragma once

#include "simulation/RunEvent.h"

namespace trevalo::simulation {

// How precisely the location service was asked to locate, which decides how it locates and
// so what it costs.
enum class AccuracyClass { kOff, kBest, kTenMeters, kHundredMeters, kKilometer, kThreeKilometers };

// A rough power model of a phone's location service, for comparing strategies with each
// other and with always-on GPS, not for predicting a battery's life. The figures are
// assumptions, documented with their reasoning in the README: satellite positioning at the
// best and ten-metre accuracies, Wi-Fi and cell positioning for a hundred metres and a
// kilometre, cell positioning for three kilometres, and small costs for significant-change
// and region monitoring and for the compass. Milliwatts.
struct PowerModel {
  double best = 150.0;
  double tenMeters = 120.0;
  double hundredMeters = 40.0;
  double kilometer = 15.0;
  double threeKilometers = 10.0;
  double significantChanges = 2.0;
  double regionMonitoring = 1.0;
  double compass = 5.0;

  static AccuracyClass classify(const LocationServiceState& state) noexcept;
  static const char* name(AccuracyClass accuracy) noexcept;

  // What the location service draws in `state`.
  double power(const LocationServiceState& state) const noexcept;
  // The part of it that satellite positioning draws (the best and ten-metre classes).
  double satellitePower(const LocationServiceState& state) const noexcept;
  // The yardstick: satellite positioning at the best accuracy, always on.
  double alwaysOnBest() const noexcept { return best; }
};

}  // namespace trevalo::simulation
