#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace trevalo::platform {

// The time line of a sensor script: segments of given durations, one after the other from
// time 0. Finds the segment that holds a moment; a segment of no duration holds none.
class ScriptTimeline {
 public:
  struct Position {
    std::size_t index;  // of the segment
    double offset;      // seconds since the segment began
  };

  // Adds a segment. A negative or NaN duration raises an invalid-argument Exception; an
  // infinite one lasts for ever (segments after it are never reached).
  void append(double seconds);
  void append(const ScriptTimeline& other);

  double duration() const noexcept { return ends_.empty() ? 0.0 : ends_.back(); }
  std::size_t size() const noexcept { return ends_.size(); }
  double endOf(std::size_t index) const { return ends_.at(index); }

  // Nothing before 0, at or after the end, or for NaN.
  std::optional<Position> locate(double seconds) const;

 private:
  std::vector<double> ends_;  // cumulative, never decreasing
};

}  // namespace trevalo::platform
