#pragma once

#include "trevalo/utils/TRActivityMode.h"

namespace trevalo {

// What the step-counting analysis made of one window of accelerometer samples.
struct TRAccelerometerAnalysis {
  // Walking or Stationary.
  TRActivityMode mode = TRActivityModeStationary;
  // Sign changes of the deviation from the local mean beyond 0.085 g, at most one per axis
  // every 0.25 s; 0 when the window was rejected because the device turned or was not at rest
  // under gravity.
  double coarseCrossings = 0.0;
  // Sign changes beyond 0.015 g, any spacing; counted up to where a rejection stopped the scan.
  double fineCrossings = 0.0;
  // Seconds from the first sample to the last.
  double duration = 0.0;

  constexpr bool operator==(const TRAccelerometerAnalysis&) const noexcept = default;
};

}  // namespace trevalo
