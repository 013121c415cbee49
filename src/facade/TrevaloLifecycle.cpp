// The facade's lifecycle: start, launch, pause, resume and timed updates.
#include <cmath>

#include "analyzer/TRLocationAnalyzer.h"
#include "facade/FacadeOptions.h"
#include "networking/TRNetworkClient.h"
#include "platform/ArchiveRegistry.h"
#include "strategies/StrategiesStateMachine.h"
#include "strategies/TRKeepAliveLoop.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/LocationManager.h"
#include "trevalo/platform/OperationQueue.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/Timer.h"
#include "utils/TRUtils.h"
#include "visits/VisitTracker.h"

namespace trevalo {

namespace {

constexpr std::int64_t kNotRunningErrorCode = -9998;
constexpr std::int64_t kFilterOptionExceptionCode = 1;

bool isAcceptedInterval(double interval) {
  return std::isfinite(interval) && interval >= FacadeOptions::kMinimumTimedUpdatesInterval;
}

void stopMonitoringSleepRegions(platform::LocationManager& manager) {
  for (const auto& region : manager.monitoredRegions()) {
    if (region.identifier.find(Trevalo::kGeofenceRegionPrefix) != std::string::npos) {
      manager.stopMonitoringForRegion(region);
    }
  }
}

}  // namespace

void Trevalo::runLifecycle(platform::Task work) {
  {
    std::unique_lock lock(lock_);
    if (platform::Platform::current().runLoop().isCurrent() && queuedLifecycleWork_ == 0 &&
        pendingStateClears_ == 0) {
      lock.unlock();
      work();
      return;
    }
    ++queuedLifecycleWork_;
  }
  postLifecycleWork(std::move(work));
}

void Trevalo::postLifecycleWork(platform::Task work) {
  platform::Platform::current().runLoop().post(
      [weakSelf = weak_from_this(), work = std::move(work)]() mutable {
        const auto self = weakSelf.lock();
        if (!self) return;
        {
          const std::lock_guard lock(self->lock_);
          // Behind the state machine's clear of a pause, whenever this was asked for.
          if (self->pendingStateClears_ > 0) {
            self->postLifecycleWork(std::move(work));
            return;
          }
          --self->queuedLifecycleWork_;
        }
        work();
      });
}

void Trevalo::awaitStateClear() {
  {
    const std::lock_guard lock(lock_);
    ++pendingStateClears_;
  }
  // Posted after the clear, so it runs once the clear has landed.
  platform::Platform::current().runLoop().post([weakSelf = weak_from_this()] {
    if (const auto self = weakSelf.lock()) {
      const std::lock_guard lock(self->lock_);
      --self->pendingStateClears_;
    }
  });
}

void Trevalo::startWithApiToken(const std::string& token, TrevaloDelegateReference delegate) {
  startWithApiToken(token, std::move(delegate), std::nullopt);
}

void Trevalo::startWithApiToken(const std::string& token, TrevaloDelegateReference delegate,
                                std::optional<TROptions> options) {
  const FacadeOptions read(options);
  runLifecycle([this, token, delegate = std::move(delegate), options = std::move(options), read] {
    internalStartWithApiToken(token, delegate, options, read);
  });
  if (!read.filtersAccepted()) TRUtils::raiseException(kFilterOptionExceptionCode);
  if (!read.intervalAccepted()) throw Exception(kTimedUpdatesIntervalException);
}

void Trevalo::internalStartWithApiToken(const std::string& token, TrevaloDelegateReference delegate,
                                        const std::optional<TROptions>& options,
                                        const FacadeOptions& read) {
  trContext_->networkClient->setApiKey(token);
  logDebugParameters();
  // Options refused by a check are not kept, so that the next launch does not meet them again;
  // a start refused for its filters starts nothing and leaves the flag as it was too.
  if (read.filtersAccepted()) {
    TRUtils::saveWasRunning(true);
    if (read.intervalAccepted()) TRUtils::saveOptions(options);
  }
  {
    const std::lock_guard lock(lock_);
    debugMode_ = read.debugMode;
    debugMoved_ = read.debugMoved;
    delegate_ = std::move(delegate);
    useIOSMotionActivity_ = read.useIOSMotionActivity;
    if (!read.filtersAccepted()) return;
    filters_ = read.filters;
  }
  trContext_->analyzeLocations->updateFilter(
      read.filters.value_or(std::vector<std::shared_ptr<TRFilter>>{}));
  requestAuthorization(read.whenInUseOnly);
  {
    const std::lock_guard lock(lock_);
    if (!isRunning_) startLocationWork();
  }
  if (read.wantsTimedUpdates()) scheduleTimedUpdatesIfAccepted(read.timedUpdatesInterval);
}

void Trevalo::requestAuthorization(bool whenInUseOnly) {
  auto& manager = *trContext_->locationManager;
  if (whenInUseOnly) {
    if (manager.canRequestWhenInUseAuthorization()) manager.requestWhenInUseAuthorization();
    return;
  }
  if (manager.canRequestAlwaysAuthorization()) manager.requestAlwaysAuthorization();
  if (manager.canAllowBackgroundLocationUpdates()) manager.setAllowsBackgroundLocationUpdates(true);
}

// Under the facade lock.
void Trevalo::startLocationWork() {
  auto& context = *trContext_;
  isRunning_ = true;
  invalidateTimedUpdates();
  const auto* queue = context.visitsQueue->nsOperationQueue();
  if (!queue || queue->operationCount() == 0) context.visitsQueue->addArchivedOperations();
  scheduledLocationTimer_.reset();
  callbackInterval_ = 0.0;
  startTracking(true);
}

// What a start and a resume both turn on, in this order: motion, the keep-alive loop, the
// strategies from Initial, and every location service (the compass with the start's filter
// on a start).
void Trevalo::startTracking(bool withStartHeadingFilter) {
  auto& context = *trContext_;
  startMotion();
  if (context.keepAliveLoop) context.keepAliveLoop->start();
  if (context.strategiesStateMachine) context.strategiesStateMachine->startWithInitialState();
  auto& manager = *context.locationManager;
  manager.startUpdatingLocation();
  isCompassOn_ = true;
  manager.startUpdatingHeading();
  if (withStartHeadingFilter) manager.setHeadingFilter(kStartHeadingFilter);
  manager.startMonitoringSignificantLocationChanges();
}

// What a pause and a geofence sleep both turn off, in this order.
void Trevalo::stopTracking() {
  auto& context = *trContext_;
  if (context.keepAliveLoop) context.keepAliveLoop->stop();
  stopMotion();
  auto& manager = *context.locationManager;
  manager.stopUpdatingLocation();
  manager.stopUpdatingHeading();
  manager.stopMonitoringSignificantLocationChanges();
}

void Trevalo::handleAppLaunch(const std::string& token, TrevaloDelegateReference delegate) {
  if (!TRUtils::wasRunning()) return;
  // The kept options may hold filters; their class must be known to read them back.
  platform::ArchiveRegistry::shared().registerClass<TRFilter>();
  auto options = TRUtils::options();
  if (options) options = FacadeOptions::withoutRefused(std::move(*options));
  startWithApiToken(token, std::move(delegate), std::move(options));
}

void Trevalo::pause() {
  runLifecycle([this] { pauseOnMain(); });
}

void Trevalo::pauseOnMain() {
  auto& context = *trContext_;
  {
    const std::lock_guard lock(lock_);
    isRunning_ = false;
    invalidateTimedUpdates();
    geofenceSleepPending_ = false;
    geofenceAsleep_ = false;
  }
  if (context.strategiesStateMachine) {
    // The machine clears its state only when the run loop next turns; lifecycle work waits
    // until it has, so that a resume is not undone by it.
    context.strategiesStateMachine->stopAndClearCurrentState();
    awaitStateClear();
  }
  stopTracking();
  // Every sleep region goes: one left behind would wake the SDK the application paused.
  stopMonitoringSleepRegions(*context.locationManager);
  TRUtils::saveWasRunning(false);
  TRUtils::saveGeofenceState(false);
}

std::optional<Error> Trevalo::resume() {
  if (trContext_->networkClient->apiKey().empty()) {
    return TRUtils::errorWithCode(kNotRunningErrorCode);
  }
  runLifecycle([this] { resumeOnMain(); });
  return std::nullopt;
}

void Trevalo::resumeOnMain() {
  auto& context = *trContext_;
  const std::lock_guard lock(lock_);
  // A resume asked for during a geofence sleep ends it as a crossing does. Its regions would
  // otherwise stay watched while the SDK tracks, and the first one crossed would reset the
  // strategy to Initial in the middle of a walk.
  if (geofenceAsleep_) {
    stopMonitoringSleepRegions(*context.locationManager);
    geofenceAsleep_ = false;
    sleepPositionStale_ = true;
    TRUtils::saveGeofenceState(false);
  }
  isRunning_ = true;
  // Only an interval that was accepted comes back: a refused one is kept in callbackInterval
  // but never runs.
  if (isAcceptedInterval(callbackInterval_)) scheduleTimer(callbackInterval_);
  startTracking(false);
  TRUtils::saveWasRunning(true);
}

void Trevalo::scheduleTimedUpdates(double interval) {
  if (!scheduleTimedUpdatesIfAccepted(interval)) throw Exception(kTimedUpdatesIntervalException);
}

bool Trevalo::scheduleTimedUpdatesIfAccepted(double interval) {
  const std::lock_guard lock(lock_);
  callbackInterval_ = interval;
  if (!isAcceptedInterval(interval)) return false;
  scheduleTimer(interval);
  return true;
}

// Under the facade lock.
void Trevalo::scheduleTimer(double interval) {
  // One timer at a time: a second start, or a resume, would otherwise double every update.
  invalidateTimedUpdates();
  scheduledLocationTimer_ = platform::Platform::current().runLoop().scheduleTimer(
      interval, true, [weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) self->sendTimedLocation();
      });
}

// Under the facade lock.
void Trevalo::invalidateTimedUpdates() {
  if (scheduledLocationTimer_ && scheduledLocationTimer_->isValid()) {
    scheduledLocationTimer_->invalidate();
  }
}

void Trevalo::sendTimedLocation() {
  const auto location = trContext_->analyzeLocations->getBestAvailableLocation();
  if (!location) return;
  if (const auto delegate = delegateFor(TrevaloDelegate::kDidUpdateLocation)) {
    delegate->trevaloDidUpdateLocation(*this, *location);
  }
}

}  // namespace trevalo
