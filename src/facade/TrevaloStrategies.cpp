// The facade as the delegate of the state machine and the keep-alive loop: the context of each
// strategy decision, the application of each strategy, and geofence sleep.
#include <cmath>
#include <numbers>
#include <string>

#include "analyzer/TRLocationAnalyzer.h"
#include "json/ParserUtils.h"
#include "strategies/LocationManagerStrategy.h"
#include "strategies/StrategiesStateMachine.h"
#include "strategies/TRKeepAliveLoop.h"
#include "strategies/TRStateMachingeContext.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/LocationManager.h"
#include "trevalo/platform/OperationQueue.h"
#include "trevalo/utils/TRLogger.h"
#include "utils/StrategyType.h"
#include "utils/TRUtils.h"
#include "visits/VisitTracker.h"

namespace trevalo {

namespace {

// The sleep regions' centres: metres turned into degrees on a sphere of this radius.
constexpr double kEarthRadius = 6372797.6;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr int kGeofenceRegionCount = 6;

// A debug option's number truncated to 32 bits, as the state machine reads a mode.
TRMode modeFromNumber(const Json& number) {
  const Json holder = {{"mode", number}};
  const auto value = ParserUtils::intValue(holder, "mode");
  return static_cast<TRMode>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

// Longitudes stay within [-180, 180) however close to the antimeridian the sleep begins.
double wrappedLongitude(double longitude) {
  if (longitude >= -180.0 && longitude < 180.0) return longitude;
  double wrapped = std::fmod(longitude + 180.0, 360.0);
  if (wrapped < 0.0) wrapped += 360.0;
  return wrapped - 180.0;
}

}  // namespace

TRStateMachingeContext Trevalo::getStateMachineContext() {
  std::optional<Json> mode;
  std::optional<Json> moved;
  TRStateMachingeContext context;
  {
    const std::lock_guard lock(lock_);
    context.customSetting = currentSetting_;
    mode = debugMode_;
    moved = debugMoved_;
  }
  const auto& analyzer = *trContext_->analyzeLocations;
  context.everMovedInCurrentLoop =
      moved ? ParserUtils::boolValue(&*moved) : analyzer.walkedInLast2Minutes();
  context.algorithmMode = mode ? modeFromNumber(*mode) : analyzer.currentMode();
  // Asleep, the analyzer's own timers still run and may switch its mode; the decisions they
  // force keep the sleep, which only a region event (or a pause) ends.
  if (geofenceAsleep_) context.algorithmMode = TRModeGeofence;
  return context;
}

void Trevalo::strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from) {
  auto& tracker = *trContext_->visitsQueue;
  tracker.resendAllPendingOperations();
  const auto* queue = tracker.nsOperationQueue();
  TRLogger::instance()->send(std::string("heading:") + (isCompassOn() ? "on" : "off") +
                                 ", opCount:" + std::to_string(queue ? queue->operationCount() : 0),
                             "mode", 0);
  applyNewStrategy(strategy, from);
}

void Trevalo::applyNewStrategy(const LocationManagerStrategy& strategy, StrategyType from) {
  const auto& machine = trContext_->strategiesStateMachine;
  if (strategy.startAction >= LocationManagerStrategy::kStartActionApply &&
      strategy.startAction <= LocationManagerStrategy::kStartActionGeofenceSleep) {
    StrategyObserver observer;
    {
      const std::lock_guard lock(lock_);
      observer = strategyObserver_;
    }
    if (observer) {
      const auto entering = machine ? machine->strategyTypeBeingEntered() : std::nullopt;
      observer(strategy,
               entering.value_or(machine ? machine->currentStrategyType() : StrategyTypeUnset),
               from);
    }
  }

  auto& manager = *trContext_->locationManager;
  switch (strategy.startAction) {
    case LocationManagerStrategy::kStartActionApply:
      break;
    case LocationManagerStrategy::kStartActionStopUpdates:
      geofenceSleepPending_ = false;
      geofenceAsleep_ = false;
      manager.stopUpdatingLocation();
      return;
    case LocationManagerStrategy::kStartActionGeofenceSleep:
      stopForGeofence();
      return;
    default:
      return;
  }
  geofenceSleepPending_ = false;
  geofenceAsleep_ = false;
  manager.setDistanceFilter(strategy.distanceFilter);
  manager.setActivityType(strategy.activityType);
  manager.setDesiredAccuracy(strategy.desiredAccuracy);
  manager.setPausesLocationUpdatesAutomatically(strategy.pausesLocationUpdatesAutomatically);
  if (from == StrategyTypeOff) manager.startUpdatingLocation();
  turnCompassOn(strategy.compassOn);
  if (isCompassOn()) manager.setHeadingFilter(strategy.headingFilter);
}

void Trevalo::turnCompassOn(bool on) {
  {
    const std::lock_guard lock(lock_);
    if (on == isCompassOn_) return;
    isCompassOn_ = on;
  }
  TRLogger::instance()->send(on ? "heading force on" : "heading force off", "", 0);
  auto& manager = *trContext_->locationManager;
  if (on) {
    manager.startUpdatingHeading();
  } else {
    manager.stopUpdatingHeading();
  }
}

void Trevalo::newLoopProcessed() {
  auto& context = *trContext_;
  context.analyzeLocations->processLastWifiNameAndDate();
  context.visitsQueue->resendAllPendingOperations();
  const auto& machine = context.strategiesStateMachine;
  const StrategyType current = machine ? machine->currentStrategyType() : StrategyTypeUnset;
  // Unset has no record: the tick applies one of all zeros, as it does before the first start.
  const auto strategy = machine ? machine->currentStrategy() : std::nullopt;
  applyNewStrategy(strategy.value_or(LocationManagerStrategy{}), current);
  TRLogger::instance()->send("next loop:" + TRUtils::strForStrategy(current), "mode", 60);
}

void Trevalo::stopForGeofence() {
  auto& context = *trContext_;
  const auto last = context.analyzeLocations->getBestAvailableLocation();
  // Sleeping around a position from before the last wake-up, or around none at all, would
  // watch the wrong place: the sleep waits for the next fix, with location updates on.
  if (!last || sleepPositionStale_) {
    geofenceSleepPending_ = true;
    return;
  }
  geofenceSleepPending_ = false;
  const double latitude = last->coordinate().latitude;
  const double longitude = last->coordinate().longitude;
  const double metresToDegrees = kGeofenceRegionDistance / kEarthRadius * kDegreesPerRadian;
  for (int k = 0; k < kGeofenceRegionCount; ++k) {
    const double angle = k * std::numbers::pi / 3.0;
    const Coordinate centre{
        latitude + std::cos(angle) * metresToDegrees,
        wrappedLongitude(longitude + std::sin(angle) * metresToDegrees /
                                         std::cos(latitude * std::numbers::pi / 180.0))};
    startMonitoringForRegion(
        {centre, kGeofenceRegionRadius, kGeofenceRegionPrefix + std::to_string(k)});
  }
  {
    const std::lock_guard lock(lock_);
    invalidateTimedUpdates();
  }
  stopTracking();
  geofenceAsleep_ = true;
  TRUtils::saveGeofenceState(true);
}

void Trevalo::startMonitoringForRegion(const platform::CircularRegion& region) {
  trContext_->locationManager->startMonitoringForRegion(region);
}

}  // namespace trevalo
