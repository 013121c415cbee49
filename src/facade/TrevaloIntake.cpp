// The facade as the delegate of the location manager, the analyzer, the visit tracker, the
// geofence manager and the motion control: intake of fixes, and the application callbacks.
#include <utility>

#include "analyzer/TRLocationAnalyzer.h"
#include "facade/TracemoorClient.h"
#include "model/TRCachedVisit.h"
#include "networking/TRNetworkClient.h"
#include "platform/TextFormat.h"
#include "strategies/StrategiesStateMachine.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/LocationManager.h"
#include "trevalo/utils/TRLogger.h"
#include "utils/TRMode.h"
#include "utils/TRUtils.h"
#include "vell/ExtraLocationInfoCollector.h"
#include "vell/TRVellLocation.h"
#include "visits/VisitTracker.h"

namespace trevalo {

void Trevalo::locationManagerDidUpdateLocations(const std::vector<Location>& locations) {
  auto& context = *trContext_;
  const auto recorder = tracemoorClient();
  if (!locations.empty()) sleepPositionStale_ = false;
  for (const auto& location : locations) {
    auto sample = std::make_shared<TRVellLocation>(location, *context.extraInfoCollector,
                                                   TRUtils::fetchSSIDInfo());
    context.analyzeLocations->processLocation(sample);
    if (recorder) recorder->sendLocations({sample});
  }
  // The next batch starts with the sensor samples taken after this one.
  context.extraInfoCollector->clearInfo();

  LocationHandler pending;
  {
    const std::lock_guard lock(lock_);
    pending = std::exchange(getCurrentLocationCallback_, nullptr);
  }
  if (pending) pending(context.analyzeLocations->getBestAvailableLocation(), std::nullopt);
  // A sleep that waited for a position can begin now.
  if (geofenceSleepPending_) stopForGeofence();
}

void Trevalo::locationManagerDidFailWithError(const Error& error) {
  if (const auto delegate = delegateFor(TrevaloDelegate::kDidFailWithError)) {
    delegate->trevaloDidFailWithError(*this, error);
  }
}

void Trevalo::locationManagerDidUpdateHeading(const platform::Heading& heading) {
  trContext_->extraInfoCollector->addNewHeading(heading);
  TRLogger::instance()->send(
      "new heading. accuracy:" + platform::shortestText(heading.headingAccuracy), "heading", 60);
}

void Trevalo::locationManagerDidEnterRegion(const platform::CircularRegion& region) {
  regionEvent(region, true);
}

void Trevalo::locationManagerDidExitRegion(const platform::CircularRegion& region) {
  regionEvent(region, false);
}

void Trevalo::regionEvent(const platform::CircularRegion& region, bool entry) {
  if (const auto delegate = delegateFor(TrevaloDelegate::kChangeRegion)) {
    delegate->trevaloChangeRegion(
        *this, (entry ? "entered region " : "exited region ") + region.identifier);
  }
  if (region.identifier.find(kGeofenceRegionPrefix) != std::string::npos) wakeFromGeofenceSleep();
}

void Trevalo::wakeFromGeofenceSleep() {
  auto& context = *trContext_;
  auto& manager = *context.locationManager;
  for (const auto& region : manager.monitoredRegions()) {
    if (region.identifier.find(kGeofenceRegionPrefix) != std::string::npos) {
      manager.stopMonitoringForRegion(region);
    }
  }
  geofenceAsleep_ = false;
  // A crossing reported after a pause must not start the SDK the application paused.
  if (!isRunning()) {
    TRUtils::saveGeofenceState(false);
    return;
  }
  // The sleep position is old news: a new sleep waits for a fix.
  sleepPositionStale_ = true;
  // Out of the Geofence strategy before the keep-alive loop restarts: its first tick re-applies
  // the current strategy, which would put the SDK straight back to sleep.
  if (context.strategiesStateMachine) context.strategiesStateMachine->startWithInitialState();
  (void)resume();
  TRUtils::saveGeofenceState(false);
  context.analyzeLocations->processRegionExit();
}

void Trevalo::onDeterminedFilteredTRLocation(const Location& location) {
  if (const auto delegate = delegateFor(TrevaloDelegate::kDidUpdateLocation)) {
    delegate->trevaloDidUpdateLocation(*this, location);
  }
}

void Trevalo::onConfirmedDepartedVenueWithEndDate(Date endDate) {
  trContext_->visitsQueue->endVisit(endDate);
}

std::shared_ptr<MetaOperationBase> Trevalo::sendCollectedPoints(
    const std::vector<std::shared_ptr<TRVellLocation>>& points) {
  if (points.empty() || !points.back()) return nullptr;
  return trContext_->visitsQueue->determineLocationAtLocations(points, points.back()->location,
                                                               filters());
}

void Trevalo::reverseGeocode(const std::shared_ptr<TRVellLocation>& location) {
  // Without a token nothing can be asked; a failed geocode for the analyzer is dropped anyway.
  if (!location || trContext_->networkClient->apiKey().empty()) return;
  reverseGeocodeLocation(
      location->location,
      [weakSelf = weak_from_this()](std::shared_ptr<TRPlace> place, std::optional<Error> error) {
        const auto self = weakSelf.lock();
        if (!self || error) return;
        if (const auto delegate = self->delegateFor(TrevaloDelegate::kDidStartVisit)) {
          auto visit = std::make_shared<TRVisit>();
          visit->place = std::move(place);
          delegate->trevaloDidStartVisit(*self, visit);
        }
      });
}

void Trevalo::didDetectedModeChange() {
  auto& context = *trContext_;
  if (context.analyzeLocations->currentMode() == TRModeCar) {
    optionalWillChangeActivityMode(TRActivityModeAutomotive);
  }
  if (context.strategiesStateMachine) context.strategiesStateMachine->forceStateChange();
}

void Trevalo::optionalDidStartVisit(const std::shared_ptr<TRCachedVisit>& visit) {
  if (const auto delegate = delegateFor(TrevaloDelegate::kDidStartVisit)) {
    delegate->trevaloDidStartVisit(*this, TRVisit::initWithVisit(*visit));
  }
}

void Trevalo::optionalDidEndVisit(const std::shared_ptr<TRCachedVisit>& visit) {
  if (const auto delegate = delegateFor(TrevaloDelegate::kDidEndVisit)) {
    delegate->trevaloDidEndVisit(*this, TRVisit::initWithVisit(*visit));
  }
}

void Trevalo::operationFinished(const std::shared_ptr<MetaOperationBase>& operation) {
  trContext_->analyzeLocations->processOperationFinished(operation);
}

void Trevalo::enteredRegion(const std::shared_ptr<TRGeofence>& geofence) {
  if (const auto delegate = delegateFor(TrevaloDelegate::kDidEnterRegion)) {
    delegate->trevaloDidEnterRegion(*this, geofence);
  }
}

void Trevalo::exitedRegion(const std::shared_ptr<TRGeofence>& geofence) {
  if (const auto delegate = delegateFor(TrevaloDelegate::kDidExitRegion)) {
    delegate->trevaloDidExitRegion(*this, geofence);
  }
}

void Trevalo::processActivityChange(TRActivityMode mode) {
  trContext_->analyzeLocations->processActivityChange(mode);
}

void Trevalo::optionalWillChangeActivityMode(TRActivityMode mode) {
  auto previous = previousActivityMode_.load(std::memory_order_relaxed);
  do {
    if (previous == mode) return;
  } while (!previousActivityMode_.compare_exchange_weak(previous, mode, std::memory_order_acq_rel));
  if (const auto delegate = delegateFor(TrevaloDelegate::kWillChangeActivityMode)) {
    delegate->trevaloWillChangeActivityMode(*this, mode);
  }
}

void Trevalo::reachabilityChanged() {
  trContext_->analyzeLocations->processLastWifiNameAndDate();
}

}  // namespace trevalo
