#include "analyzer/modes/TRVisitWalkingMode.h"

#include <utility>

#include "vell/TRMath.h"

namespace trevalo {

TRVisitWalkingMode::TRVisitWalkingMode(std::weak_ptr<TRModeDelegate> delegate,
                                       std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

void TRVisitWalkingMode::willEnterModeFrom(TRMode, const TRModeArguments&) {}

TRMode TRVisitWalkingMode::processLocation(const std::shared_ptr<TRVellLocation>& location) {
  auto& shared = *context();
  const bool outdoors = shared.isOutdoors(*location);
  const bool walkedIndoors = shared.isWalkedIndoors(*location);

  if (!walkedIndoors && outdoors) {
    const double lastCheck = lastVisitEndCheckLocation
                                 ? lastVisitEndCheckLocation->timestamp().timeIntervalSince1970()
                                 : 0.0;
    const double sinceLastCheck = location->timestamp().timeIntervalSince1970() - lastCheck;
    if (shared.wentOutside > kDepartureWentOutside && sinceLastCheck > kDepartureCheckInterval) {
      lastVisitEndCheckLocation = location->location;
      const double fromStay = TRMath::vellDistanceFromLocation(
          shared.lastGeocodedPoint, lastVisitEndCheckLocation->coordinate());
      if (fromStay > kDepartureDistance) {
        shared.lastGeocodedPoint = kCoordinateInvalid;
        changeModeTo(TRModeWalking);
        return TRModeWalking;
      }
    }
    return TRModeVisitWalking;
  }

  const double fromStay =
      TRMath::vellDistanceFromLocation(shared.lastGeocodedPoint, location->location.coordinate());
  if (fromStay > kSameStayDistance) {
    changeModeTo(TRModeBurst);
    return TRModeBurst;
  }
  changeModeTo(TRModeVisit);
  return TRModeVisit;
}

void TRVisitWalkingMode::willExitToMode(TRMode mode) {
  if (mode != TRModeWalking && mode != TRModeCar) return;
  if (const auto analyzer = delegate()) analyzer->onConfirmedDepartedVenueWithEndDate(Date::now());
}

}  // namespace trevalo
