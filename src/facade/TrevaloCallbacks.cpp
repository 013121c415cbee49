#include "facade/TrevaloCallbacks.h"

#include "strategies/TRStateMachingeContext.h"

namespace trevalo {

void Trevalo::Callbacks::locationManagerDidUpdateLocations(platform::LocationManager&,
                                                           const std::vector<Location>& locations) {
  if (const auto trevalo = facade()) trevalo->locationManagerDidUpdateLocations(locations);
}

void Trevalo::Callbacks::locationManagerDidFailWithError(platform::LocationManager&,
                                                         const Error& error) {
  if (const auto trevalo = facade()) trevalo->locationManagerDidFailWithError(error);
}

void Trevalo::Callbacks::locationManagerDidUpdateHeading(platform::LocationManager&,
                                                         const platform::Heading& heading) {
  if (const auto trevalo = facade()) trevalo->locationManagerDidUpdateHeading(heading);
}

void Trevalo::Callbacks::locationManagerDidEnterRegion(platform::LocationManager&,
                                                       const platform::CircularRegion& region) {
  if (const auto trevalo = facade()) trevalo->locationManagerDidEnterRegion(region);
}

void Trevalo::Callbacks::locationManagerDidExitRegion(platform::LocationManager&,
                                                      const platform::CircularRegion& region) {
  if (const auto trevalo = facade()) trevalo->locationManagerDidExitRegion(region);
}

void Trevalo::Callbacks::didDetectedModeChange() {
  if (const auto trevalo = facade()) trevalo->didDetectedModeChange();
}

void Trevalo::Callbacks::onDeterminedFilteredTRLocation(const Location& location) {
  if (const auto trevalo = facade()) trevalo->onDeterminedFilteredTRLocation(location);
}

void Trevalo::Callbacks::onConfirmedDepartedVenueWithEndDate(Date endDate) {
  if (const auto trevalo = facade()) trevalo->onConfirmedDepartedVenueWithEndDate(endDate);
}

std::shared_ptr<MetaOperationBase> Trevalo::Callbacks::sendCollectedPoints(
    const std::vector<std::shared_ptr<TRVellLocation>>& points) {
  const auto trevalo = facade();
  return trevalo ? trevalo->sendCollectedPoints(points) : nullptr;
}

void Trevalo::Callbacks::reverseGeocode(const std::shared_ptr<TRVellLocation>& location) {
  if (const auto trevalo = facade()) trevalo->reverseGeocode(location);
}

void Trevalo::Callbacks::enteredRegion(const std::shared_ptr<TRGeofence>& geofence) {
  if (const auto trevalo = facade()) trevalo->enteredRegion(geofence);
}

void Trevalo::Callbacks::exitedRegion(const std::shared_ptr<TRGeofence>& geofence) {
  if (const auto trevalo = facade()) trevalo->exitedRegion(geofence);
}

void Trevalo::Callbacks::optionalDidStartVisit(const std::shared_ptr<TRCachedVisit>& visit) {
  if (const auto trevalo = facade()) trevalo->optionalDidStartVisit(visit);
}

void Trevalo::Callbacks::optionalDidEndVisit(const std::shared_ptr<TRCachedVisit>& visit) {
  if (const auto trevalo = facade()) trevalo->optionalDidEndVisit(visit);
}

void Trevalo::Callbacks::operationFinished(const std::shared_ptr<MetaOperationBase>& operation) {
  if (const auto trevalo = facade()) trevalo->operationFinished(operation);
}

void Trevalo::Callbacks::strategyChangedTo(const LocationManagerStrategy& strategy,
                                           StrategyType from) {
  if (const auto trevalo = facade()) trevalo->strategyChangedTo(strategy, from);
}

TRStateMachingeContext Trevalo::Callbacks::getStateMachineContext() {
  const auto trevalo = facade();
  return trevalo ? trevalo->getStateMachineContext() : TRStateMachingeContext{};
}

void Trevalo::Callbacks::newLoopProcessed() {
  if (const auto trevalo = facade()) trevalo->newLoopProcessed();
}

void Trevalo::Callbacks::processActivityChange(TRActivityMode mode) {
  if (const auto trevalo = facade()) trevalo->processActivityChange(mode);
}

void Trevalo::Callbacks::optionalWillChangeActivityMode(TRActivityMode mode) {
  if (const auto trevalo = facade()) trevalo->optionalWillChangeActivityMode(mode);
}

}  // namespace trevalo
