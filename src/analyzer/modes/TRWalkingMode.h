#pragma once

#include <memory>

#include "analyzer/modes/TRAbstractMode.h"

namespace trevalo {

// Moving, on foot or otherwise unclassified. Each sample is tested against the server
// geofences; a sample that shows the user has walked into a building starts a burst, and a run
// of fast, accurate samples switches to the car mode.
class TRWalkingMode final : public TRAbstractMode {
 public:
  static constexpr double kCarSpeed = 5.0;      // m/s; faster samples count towards driving
  static constexpr double kCarAccuracy = 25.0;  // m; only samples more accurate than this count
  static constexpr double kCarThreshold = 3.0;
  static constexpr double kCarCeiling = 6.0;
  static constexpr double kCarDecay = 1.5;

  TRWalkingMode(std::weak_ptr<TRModeDelegate> delegate,
                std::shared_ptr<TRLocationAnalyzerContext> context);

  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;

  // Counts fast, accurate samples up (to at most 6) and slower samples that moved down by 1.5
  // (to no less than 0); true while the count is at least 3.
  bool detectIfInCarMode(const TRVellLocation& location) const;

  // The count is one value for the whole process, shared by every walking mode and kept across
  // mode changes. Used on the run loop only.
  static double carModeCount();
  // Sets the count back to 0, as in a new process. For tests and tools that run several
  // analyzers in one process; the SDK itself never resets it.
  static void resetCarModeCount();
};

}  // namespace trevalo
