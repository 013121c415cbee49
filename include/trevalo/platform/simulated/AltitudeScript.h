#pragma once

#include <optional>
#include <vector>

#include "trevalo/platform/simulated/ScriptTimeline.h"

namespace trevalo::platform {

// How the altitude of a simulated device changes over time: segments of steady climbing or
// descending, one after the other, as a plain value
// (`AltitudeScript::level(60).then(AltitudeScript::climbing(20, 0.3))`).
class AltitudeScript {
 public:
  static AltitudeScript level(double seconds);
  // A negative rate descends. A rate that is not finite raises an invalid-argument Exception.
  static AltitudeScript climbing(double seconds, double metresPerSecond);

  AltitudeScript then(const AltitudeScript& next) const;

  double duration() const noexcept { return timeline_.duration(); }
  bool empty() const noexcept { return rates_.empty(); }

  // Metres above where the script began, `seconds` after it began; nothing outside the script.
  std::optional<double> altitudeAt(double seconds) const;

 private:
  std::vector<double> rates_;         // metres per second, one per segment
  std::vector<double> startHeights_;  // metres at the start of each segment
  ScriptTimeline timeline_;
};

}  // namespace trevalo::platform
