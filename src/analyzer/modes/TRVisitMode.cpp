#include "analyzer/modes/TRVisitMode.h"

#include <utility>

namespace trevalo {

TRVisitMode::TRVisitMode(std::weak_ptr<TRModeDelegate> delegate,
                         std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

void TRVisitMode::willEnterModeFrom(TRMode mode, const TRModeArguments& arguments) {
  auto& shared = *context();
  if (mode == TRModeBurst) {
    using Samples = std::vector<std::shared_ptr<TRVellLocation>>;
    const auto* samples = std::get_if<Samples>(&arguments);
    const auto analyzer = delegate();
    operation = analyzer ? analyzer->sendCollectedPoints(samples ? *samples : Samples{}) : nullptr;
    shared.wentOutside = 0.0;
  }
  if (!shared.locations.empty() && shared.locations.back()) {
    shared.lastGeocodedPoint = shared.locations.back()->location.coordinate();
  }
}

TRMode TRVisitMode::processLocation(const std::shared_ptr<TRVellLocation>& location) {
  const auto& shared = *context();
  if (shared.lastWifiName && !shared.lastWifiName->empty()) {
    changeModeTo(TRModeWifi);
    return TRModeWifi;
  }
  if (context()->isOutdoors(*location)) {
    changeModeTo(TRModeVisitWalking);
    return TRModeVisitWalking;
  }
  return TRModeVisit;
}

void TRVisitMode::processWifiChange(bool) {
  const auto& name = context()->lastWifiName;
  if (name && !name->empty()) changeModeTo(TRModeWifi);
}

TRModeArguments TRVisitMode::result() const {
  return operation;
}

}  // namespace trevalo
