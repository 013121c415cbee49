#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simulation/PowerModel.h"
#include "simulation/RecordedRun.h"
#include "simulation/Trace.h"
#include "trevalo/Json.h"

namespace trevalo::simulation {

// What a replay comes to, for a person to read in ten seconds: the visits, the time in each
// analyzer mode, the fixes the trace had and those the SDK was given, the time at each
// accuracy of the location service, and the energy that cost against always-on GPS.
struct RunSummary {
  struct Visit {
    std::string place;
    Date arrival;
    std::optional<Date> departure;         // nothing while the visit was still open at the end
    double dwell = 0.0;                    // s, up to the end of the run for an open visit
    std::optional<Coordinate> coordinate;  // where the place is, when the service said

    bool operator==(const Visit&) const = default;
  };

  Date start;
  Date end;
  std::vector<Visit> visits;
  std::vector<std::pair<TRMode, double>> modeSeconds;  // modes seen, in mode order
  std::size_t traceFixes = 0;
  std::size_t deliveredFixes = 0;
  std::vector<std::pair<AccuracyClass, double>> accuracySeconds;  // classes seen, in order
  double energyJoules = 0.0;
  double alwaysOnJoules = 0.0;

  // The run spans the trace and every event. Before its first mode event the analyzer counts
  // as in the initial mode; before its first strategy the location service counts as off.
  // Visits with an arrival are listed in arrival order; an end matches the open visit with the
  // same place and arrival.
  static RunSummary make(const Trace& trace, const RecordedRun& run, const PowerModel& model = {});

  double seconds() const noexcept { return end.timeIntervalSinceDate(start); }
  std::string text() const;
  Json toJson() const;
};

// "Walking" for TRModeWalking; "Burst" for StrategyTypeBurst.
std::string shortModeName(TRMode mode);
std::string shortStrategyName(StrategyType strategy);

}  // namespace trevalo::simulation
