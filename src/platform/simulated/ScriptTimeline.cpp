#include "trevalo/platform/simulated/ScriptTimeline.h"

#include <algorithm>
#include <cmath>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

void ScriptTimeline::append(double seconds) {
  if (std::isnan(seconds) || seconds < 0.0) {
    throw Exception(Exception::kInvalidArgument, "a script segment needs a duration of 0 or more");
  }
  ends_.push_back(duration() + seconds);
}

void ScriptTimeline::append(const ScriptTimeline& other) {
  const double offset = duration();
  ends_.reserve(ends_.size() + other.ends_.size());
  for (const double end : other.ends_)
    ends_.push_back(offset + end);
}

std::optional<ScriptTimeline::Position> ScriptTimeline::locate(double seconds) const {
  if (!(seconds >= 0.0) || !(seconds < duration())) return std::nullopt;
  // The first segment ending after the moment; segments of no duration end where they begin
  // and are passed over.
  const auto found = std::upper_bound(ends_.begin(), ends_.end(), seconds);
  const auto index = static_cast<std::size_t>(found - ends_.begin());
  const double start = index == 0 ? 0.0 : ends_[index - 1];
  return Position{index, seconds - start};
}

}  // namespace trevalo::platform
