#include "trevalo/platform/simulated/AltitudeScript.h"

#include <cmath>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

AltitudeScript AltitudeScript::level(double seconds) {
  return climbing(seconds, 0.0);
}

AltitudeScript AltitudeScript::climbing(double seconds, double metresPerSecond) {
  if (!std::isfinite(metresPerSecond)) {
    throw Exception(Exception::kInvalidArgument, "a climb rate must be finite");
  }
  AltitudeScript script;
  script.timeline_.append(seconds);
  script.rates_.push_back(metresPerSecond);
  script.startHeights_.push_back(0.0);
  return script;
}

AltitudeScript AltitudeScript::then(const AltitudeScript& next) const {
  AltitudeScript joined = *this;
  // The next script starts from the height this one ends at. An endless segment never ends,
  // so nothing after it is reached; its height is not needed.
  double height = 0.0;
  if (!rates_.empty()) {
    const std::size_t last = rates_.size() - 1;
    const double lastStart = last == 0 ? 0.0 : timeline_.endOf(last - 1);
    const double lastLength = timeline_.endOf(last) - lastStart;
    if (std::isfinite(lastLength)) height = startHeights_[last] + rates_[last] * lastLength;
  }
  for (std::size_t i = 0; i < next.rates_.size(); ++i) {
    joined.rates_.push_back(next.rates_[i]);
    joined.startHeights_.push_back(height + next.startHeights_[i]);
  }
  joined.timeline_.append(next.timeline_);
  return joined;
}

std::optional<double> AltitudeScript::altitudeAt(double seconds) const {
  const auto position = timeline_.locate(seconds);
  if (!position) return std::nullopt;
  return startHeights_[position->index] + rates_[position->index] * position->offset;
}

}  // namespace trevalo::platform
