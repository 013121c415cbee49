#include "trevalo/facade/Trevalo.h"

#include <utility>

#include "analyzer/TRGeofencesManager.h"
#include "analyzer/TRLocationAnalyzer.h"
#include "analyzer/TRLocationAnalyzerContext.h"
#include "facade/TracemoorClient.h"
#include "facade/TrevaloCallbacks.h"
#include "motion/TRMotionControl.h"
#include "networking/Reachability.h"
#include "networking/TRNetworkClient.h"
#include "strategies/StrategiesStateMachine.h"
#include "strategies/TRKeepAliveLoop.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/LocationManager.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/Timer.h"
#include "trevalo/utils/TRLogger.h"
#include "utils/TRUtils.h"
#include "vell/ExtraLocationInfoCollector.h"
#include "visits/VisitTracker.h"

namespace trevalo {

namespace {

// The process-wide facade and the one guard of both accessors.
struct SharedFacade {
  std::once_flag once;
  std::shared_ptr<Trevalo> instance;
};

SharedFacade& sharedFacade() {
  static SharedFacade shared;
  return shared;
}

// The geofences are asked for through the context's own client (the one holding the token),
// which need not be the process-wide one. A request the client refuses outright fails like any
// other fetch, later, rather than unwinding through the location processing that asked for it.
TRGeofencesManager::FetchGeofences fetchGeofencesThrough(std::shared_ptr<TRNetworkClient> client) {
  return [client = std::move(client)](Coordinate center, const TRGeofencesManager::Filters& filters,
                                      TRGeofencesManager::FetchCompletion complete) {
    try {
      client->getGeofences(center, filters, complete);
    } catch (const Exception& refused) {
      if (!complete) return;
      platform::Platform::current().runLoop().post([complete = std::move(complete),
                                                    reason = std::string(refused.what())] {
        complete(std::nullopt, Error("TRError", -888, {{Error::kLocalizedDescriptionKey, reason}}));
      });
    }
  };
}

}  // namespace

std::shared_ptr<Trevalo> Trevalo::sharedInstance() {
  auto& shared = sharedFacade();
  std::call_once(shared.once,
                 [&] { shared.instance = initWithContext(std::make_shared<TRContext>()); });
  return shared.instance;
}

std::shared_ptr<Trevalo> Trevalo::sharedInstanceWithContext(std::shared_ptr<TRContext> context) {
  auto& shared = sharedFacade();
  std::call_once(shared.once, [&] { shared.instance = initWithContext(std::move(context)); });
  return shared.instance;
}

std::shared_ptr<Trevalo> Trevalo::initWithContext(std::shared_ptr<TRContext> context) {
  if (!context || !context->locationManager || !context->analyzeLocations ||
      !context->networkClient || !context->extraInfoCollector || !context->visitsQueue) {
    throw Exception(Exception::kInvalidArgument,
                    "the facade needs a context with a location manager, an analyzer, a network "
                    "client, a sensor collector and a visit tracker");
  }
  auto trevalo = std::make_shared<Trevalo>(Key{}, std::move(context));
  trevalo->wireCollaborators();
  return trevalo;
}

Trevalo::Trevalo(Key, std::shared_ptr<TRContext> context) : trContext_(std::move(context)) {}

void Trevalo::wireCollaborators() {
  callbacks_ = std::make_shared<Callbacks>(weak_from_this());
  auto& context = *trContext_;
  if (context.strategiesStateMachine) context.strategiesStateMachine->setDelegate(callbacks_);
  context.visitsQueue->setDelegate(callbacks_);
  context.locationManager->setDelegate(callbacks_);
  context.analyzeLocations->setDelegate(callbacks_);
  if (context.keepAliveLoop) context.keepAliveLoop->setDelegate(callbacks_);
  context.visitsQueue->createQueue();
  if (const auto& geofences =
          context.analyzeLocations->locationAnalyzerContext()->geofenceManager) {
    geofences->setFetchGeofences(fetchGeofencesThrough(context.networkClient));
  }
  // The motion part of the facade: its sensors feed the context's collector.
  motionControl_ = TRMotionControl::make(context.extraInfoCollector);
  motionControl_->setDelegate(callbacks_);
  reachability_ = Reachability::reachabilityForLocalWiFi();

  auto& notifications = platform::Platform::current().notificationCenter();
  const std::weak_ptr<Trevalo> weakSelf = weak_from_this();
  observations_.push_back(notifications.addObserver(
      platform::Application::kDidEnterBackgroundNotification, [weakSelf](const auto&) {
        if (const auto self = weakSelf.lock()) self->resendFailedUserInfo();
      }));
  observations_.push_back(
      notifications.addObserver(kReachabilityChangedNotification, [weakSelf](const auto&) {
        if (const auto self = weakSelf.lock()) {
          self->onRunLoop([weakSelf] {
            if (const auto facade = weakSelf.lock()) facade->reachabilityChanged();
          });
        }
      }));
}

Trevalo::~Trevalo() {
  if (reachability_) reachability_->stopNotifier();
  observations_.clear();
  // Nothing persisted changes, as at the end of a process; what this facade itself runs stops.
  if (scheduledLocationTimer_) scheduledLocationTimer_->invalidate();
  if (motionControl_) motionControl_->stopMotion();
}

void Trevalo::onRunLoop(platform::Task work) {
  auto& runLoop = platform::Platform::current().runLoop();
  if (runLoop.isCurrent()) {
    work();
  } else {
    runLoop.post(std::move(work));
  }
}

bool Trevalo::isRunning() const {
  const std::lock_guard lock(lock_);
  return isRunning_;
}

bool Trevalo::isCompassOn() const {
  const std::lock_guard lock(lock_);
  return isCompassOn_;
}

double Trevalo::callbackInterval() const {
  const std::lock_guard lock(lock_);
  return callbackInterval_;
}

std::optional<TRSetting> Trevalo::currentSetting() const {
  const std::lock_guard lock(lock_);
  return currentSetting_;
}

std::optional<std::vector<std::shared_ptr<TRFilter>>> Trevalo::filters() const {
  const std::lock_guard lock(lock_);
  return filters_;
}

TrevaloDelegateReference Trevalo::delegate() const {
  const std::lock_guard lock(lock_);
  return delegate_;
}

std::shared_ptr<TrevaloDelegate> Trevalo::delegateFor(TrevaloDelegate::Callback callback) const {
  const std::lock_guard lock(lock_);
  return delegate_.implements(callback) ? delegate_.lock() : nullptr;
}

std::optional<std::string> Trevalo::deviceId() const {
  return TRUtils::IFA();
}

void Trevalo::logDebugParameters() const {
  const auto logger = TRLogger::instance();
  for (const char* line :
       {"algorithm on", "logger and debug off", "logger off", "tracemoor off", "sending data on",
        "heading on", "heading collection on", "nslogger heartbeat off"}) {
    logger->send(line, "", 0);
  }
}

void Trevalo::setTracemoorClient(std::shared_ptr<TracemoorClient> client) {
  const std::lock_guard lock(lock_);
  tracemoorClient_ = std::move(client);
}

std::shared_ptr<TracemoorClient> Trevalo::tracemoorClient() const {
  const std::lock_guard lock(lock_);
  return tracemoorClient_;
}

void Trevalo::newTracemoorSession() {
  if (const auto client = tracemoorClient()) client->newSession();
}

void Trevalo::setStrategyObserver(StrategyObserver observer) {
  const std::lock_guard lock(lock_);
  strategyObserver_ = std::move(observer);
}

void Trevalo::applyOperationMode(std::optional<TRSetting> setting) {
  const std::lock_guard lock(lock_);
  currentSetting_ = setting;
}

void Trevalo::startMotion() {
  bool useClassifier = false;
  {
    const std::lock_guard lock(lock_);
    useClassifier = useIOSMotionActivity_;
  }
  motionControl_->setUseIOSMotionActivity(useClassifier);
  motionControl_->startMotion();
}

void Trevalo::stopMotion() {
  motionControl_->stopMotion();
}

}  // namespace trevalo
