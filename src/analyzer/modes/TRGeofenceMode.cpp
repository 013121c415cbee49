#include "analyzer/modes/TRGeofenceMode.h"

#include <utility>

namespace trevalo {

TRGeofenceMode::TRGeofenceMode(std::weak_ptr<TRModeDelegate> delegate,
                               std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

void TRGeofenceMode::willEnterModeFrom(TRMode, const TRModeArguments&) {}

TRMode TRGeofenceMode::processLocation(const std::shared_ptr<TRVellLocation>&) {
  return TRModeGeofence;
}

}  // namespace trevalo
