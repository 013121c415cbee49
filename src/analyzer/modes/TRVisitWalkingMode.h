#pragma once

#include <memory>
#include <optional>

#include "analyzer/modes/TRAbstractMode.h"
#include "trevalo/platform/Location.h"

namespace trevalo {

// Moving during a stay: decides between having left the place (strong outdoor evidence more
// than 100 m from the stay point, checked at most once per 30 s), being back at it (indoors
// within 30 m) and having stopped at a new one (indoors farther away: a new burst).
class TRVisitWalkingMode final : public TRAbstractMode {
 public:
  static constexpr double kDepartureWentOutside = 5.0;
  static constexpr double kDepartureCheckInterval = 30.0;
  static constexpr double kDepartureDistance = 100.0;
  static constexpr double kSameStayDistance = 30.0;

  TRVisitWalkingMode(std::weak_ptr<TRModeDelegate> delegate,
                     std::shared_ptr<TRLocationAnalyzerContext> context);

  void willEnterModeFrom(TRMode mode, const TRModeArguments& arguments) override;
  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;
  // Leaving for walking or car reports the departure, at the current time.
  void willExitToMode(TRMode mode) override;

  // Where the last departure check was made; kept across stays.
  std::optional<Location> lastVisitEndCheckLocation;
};

}  // namespace trevalo
