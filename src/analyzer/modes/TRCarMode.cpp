#include "analyzer/modes/TRCarMode.h"

#include <utility>

namespace trevalo {

namespace {
constexpr std::uint64_t kWalkingActivity = 2;
}  // namespace

TRCarMode::TRCarMode(std::weak_ptr<TRModeDelegate> delegate,
                     std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

TRMode TRCarMode::processLocation(const std::shared_ptr<TRVellLocation>& location) {
  if (context()->geofenceManager) {
    context()->geofenceManager->processExit(location->location.coordinate());
  }
  return TRModeCar;
}

void TRCarMode::processActivityChange(std::uint64_t, std::uint64_t newActivity) {
  if (newActivity == kWalkingActivity) changeModeTo(TRModeWalking);
}

}  // namespace trevalo
