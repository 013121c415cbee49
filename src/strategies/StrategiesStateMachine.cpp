#include "strategies/StrategiesStateMachine.h"

#include <charconv>
#include <utility>

#include "platform/RunLoopDispatch.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/Timer.h"
#include "trevalo/utils/TRLogger.h"
#include "utils/TRUtils.h"

namespace trevalo {

namespace {

[[noreturn]] void raiseUnknownStrategyType() {
  throw Exception("Unknown Strategy Type");
}

[[noreturn]] void raiseModeNotImplemented(TRMode mode) {
  // The mode shows as an unsigned number, so a negative one reads as its two's complement.
  throw Exception("Mode is not implemented: " +
                  std::to_string(static_cast<std::uint32_t>(static_cast<std::int32_t>(mode))));
}

std::map<StrategyType, LocationManagerStrategy> presets() {
  using S = LocationManagerStrategy;
  return {
      {StrategyTypeInitial, S::modeInitial()},
      {StrategyTypeLowWalking, S::modeLowWalking()},
      {StrategyTypeHighWalking, S::modeHighWalking()},
      {StrategyTypeCar, S::carMode()},
      {StrategyTypeBuildingModeMovingHigh, S::buildingModeMovingHigh()},
      {StrategyTypeBuildingModeMovingLow, S::buildingModeMovingLow()},
      {StrategyTypeBuildingModeStill, S::buildingModeStill()},
      {StrategyTypeOff, S::modeOff()},
      {StrategyTypeBurst, S::burstMode()},
      // Wi-Fi behaves like a still building but keeps a record of its own, so a custom
      // setting written into one does not reach the other.
      {StrategyTypeWifi, S::buildingModeStill()},
      {StrategyTypeVisitWalkingHigh, S::walkingVisitModeMovingHigh()},
      {StrategyTypeVisitWalkingLow, S::walkingVisitModeMovingLow()},
      {StrategyTypeGeofence, S::geofenceMode()},
  };
}

void applySettingToStrategyIfNeeded(LocationManagerStrategy& strategy, const TRSetting& setting) {
  strategy.desiredAccuracy = setting.desiredAccuracy;
  strategy.distanceFilter = setting.distanceFilter;
  // A custom setting fixes the power budget; heading updates would exceed it.
  strategy.compassOn = false;
}

}  // namespace

std::shared_ptr<StrategiesStateMachine> StrategiesStateMachine::make() {
  return std::make_shared<StrategiesStateMachine>(Key{});
}

std::shared_ptr<StrategiesStateMachine> StrategiesStateMachine::initWithDelegate(
    std::weak_ptr<StrategiesStateMachineDelegate> delegate) {
  auto machine = make();
  machine->setDelegate(std::move(delegate));
  return machine;
}

StrategiesStateMachine::StrategiesStateMachine(Key) : strategies_(presets()) {}

StrategiesStateMachine::~StrategiesStateMachine() {
  // The run loop would otherwise keep the timer scheduled until it runs out.
  if (timer_) timer_->invalidate();
}

void StrategiesStateMachine::setDelegate(std::weak_ptr<StrategiesStateMachineDelegate> delegate) {
  const std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void StrategiesStateMachine::startWithInitialState() {
  platform::performOnRunLoop(*this, &StrategiesStateMachine::startWithInitialStateOnMain);
}

void StrategiesStateMachine::forceStateChange() {
  platform::performOnRunLoop(*this, &StrategiesStateMachine::forceStateChangeWithReasonOnMain);
}

void StrategiesStateMachine::changeStrategy(StrategyType type, TRStateMachingeContext settings) {
  {
    const std::lock_guard lock(mutex_);
    if (!strategies_.contains(type)) raiseUnknownStrategyType();
  }
  auto& runLoop = platform::Platform::current().runLoop();
  if (runLoop.isCurrent()) {
    changeStrategyOnMain(type, settings);
    return;
  }
  runLoop.post([weak = weak_from_this(), type, settings = std::move(settings)] {
    if (const auto self = weak.lock()) self->changeStrategyOnMain(type, settings);
  });
}

void StrategiesStateMachine::stopAndClearCurrentState() {
  // Deferred even on the run loop: the caller finishes what it is doing under the old state.
  platform::Platform::current().runLoop().post([weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->clearCurrentStateOnMain();
  });
}

std::optional<LocationManagerStrategy> StrategiesStateMachine::currentStrategy() const {
  const std::lock_guard lock(mutex_);
  const auto it = strategies_.find(currentStrategyType_);
  if (it == strategies_.end()) return std::nullopt;
  return it->second;
}

StrategyType StrategiesStateMachine::currentStrategyType() const {
  const std::lock_guard lock(mutex_);
  return currentStrategyType_;
}

std::optional<StrategyType> StrategiesStateMachine::strategyTypeBeingEntered() const {
  const std::lock_guard lock(mutex_);
  return typeBeingEntered_;
}

StrategiesStateMachine::EnteringType::EnteringType(StrategiesStateMachine& machine,
                                                   StrategyType type)
    : machine_(machine) {
  const std::lock_guard lock(machine_.mutex_);
  outer_ = std::exchange(machine_.typeBeingEntered_, type);
}

StrategiesStateMachine::EnteringType::~EnteringType() {
  const std::lock_guard lock(machine_.mutex_);
  machine_.typeBeingEntered_ = outer_;
}

std::map<StrategyType, LocationManagerStrategy> StrategiesStateMachine::strategies() const {
  const std::lock_guard lock(mutex_);
  return strategies_;
}

std::string StrategiesStateMachine::description() const {
  StrategyType type;
  double interval = 0.0;
  {
    const std::lock_guard lock(mutex_);
    type = currentStrategyType_;
    if (const auto it = strategies_.find(type); it != strategies_.end())
      interval = it->second.timeInterval;
  }
  char number[32];
  const auto end = std::to_chars(number, number + sizeof number, interval).ptr;
  return "{StateMachine:" + TRUtils::strForStrategy(type) + ", for:" + std::string(number, end) +
         "s}";
}

StrategyType StrategiesStateMachine::nextStrategyForTimer(
    const TRStateMachingeContext& context) const {
  const StrategyType high = getNextHighStrategyWith(context);
  const StrategyType low = getNextLowStrategyWith(context);
  switch (currentStrategyType()) {
    case StrategyTypeUnset:
      return StrategyTypeInitial;
    case StrategyTypeLowWalking:
    case StrategyTypeBuildingModeMovingLow:
    case StrategyTypeVisitWalkingLow:
      return high;
    case StrategyTypeInitial:
    case StrategyTypeHighWalking:
    case StrategyTypeCar:
    case StrategyTypeBuildingModeMovingHigh:
    case StrategyTypeBuildingModeStill:
    case StrategyTypeOff:
    case StrategyTypeBurst:
    case StrategyTypeWifi:
    case StrategyTypeVisitWalkingHigh:
    case StrategyTypeGeofence:
      return low;
  }
  raiseUnknownStrategyType();
}

StrategyType StrategiesStateMachine::nextStrategyForcedWithReasonContext(
    const TRStateMachingeContext& context) const {
  return nextStrategyForTimer(context);
}

StrategyType StrategiesStateMachine::getNextHighStrategyWith(
    const TRStateMachingeContext& context) {
  switch (context.algorithmMode) {
    case TRModeInitial:
      return StrategyTypeInitial;
    case TRModeWalking:
      return StrategyTypeHighWalking;
    case TRModeBurst:
      return StrategyTypeBurst;
    case TRModeCar:
      return StrategyTypeCar;
    case TRModeVisit:
      return context.everMovedInCurrentLoop ? StrategyTypeBuildingModeMovingHigh
                                            : StrategyTypeBuildingModeStill;
    case TRModeVisitWalking:
      return StrategyTypeVisitWalkingHigh;
    case TRModeGeofence:
      return StrategyTypeGeofence;
    case TRModeWifi:
      return StrategyTypeWifi;
  }
  raiseModeNotImplemented(context.algorithmMode);
}

StrategyType StrategiesStateMachine::getNextLowStrategyWith(const TRStateMachingeContext& context) {
  switch (context.algorithmMode) {
    case TRModeInitial:
      return StrategyTypeInitial;
    case TRModeWalking:
      return StrategyTypeLowWalking;
    case TRModeBurst:
      return StrategyTypeBurst;
    case TRModeCar:
      return StrategyTypeCar;
    case TRModeVisit:
      return context.everMovedInCurrentLoop ? StrategyTypeBuildingModeMovingLow
                                            : StrategyTypeBuildingModeStill;
    case TRModeVisitWalking:
      return StrategyTypeVisitWalkingLow;
    case TRModeGeofence:
      return StrategyTypeGeofence;
    case TRModeWifi:
      return StrategyTypeWifi;
  }
  raiseModeNotImplemented(context.algorithmMode);
}

void StrategiesStateMachine::startWithInitialStateOnMain() {
  changeStrategyOnMain(StrategyTypeInitial, contextFromDelegate());
}

void StrategiesStateMachine::forceStateChangeWithReasonOnMain() {
  const TRStateMachingeContext context = contextFromDelegate();
  changeStrategyOnMain(nextStrategyForcedWithReasonContext(context), context);
}

void StrategiesStateMachine::timerFired() {
  const TRStateMachingeContext context = contextFromDelegate();
  changeStrategyOnMain(nextStrategyForTimer(context), context);
}

void StrategiesStateMachine::changeStrategyOnMain(StrategyType type,
                                                  const TRStateMachingeContext& context) {
  LocationManagerStrategy strategy;
  StrategyType from;
  bool notify;
  std::uint64_t generation;
  {
    const std::lock_guard lock(mutex_);
    const auto it = strategies_.find(type);
    if (it == strategies_.end()) raiseUnknownStrategyType();
    const bool custom = context.customSetting && context.customSetting->type() != TRSettingTypeNone;
    if (custom) applySettingToStrategyIfNeeded(it->second, *context.customSetting);
    strategy = it->second;
    from = currentStrategyType_;
    // A custom setting may have changed the record, so the delegate re-applies it even when
    // the type stays.
    notify = custom || type != from;
    generation = ++changeGeneration_;
  }

  if (notify) {
    TRLogger::instance()->send("new mode:" + TRUtils::strForStrategy(type), "mode", 0);
    if (const auto delegate = lockedDelegate()) {
      const EnteringType entering(*this, type);
      delegate->strategyChangedTo(strategy, from);
    }
  }

  const std::lock_guard lock(mutex_);
  // The delegate changed the strategy itself (or cleared it) while being told of this change;
  // that later change stands, timer and all.
  if (generation != changeGeneration_) return;
  currentStrategyType_ = type;
  if (timer_) {
    timer_->invalidate();
    timer_.reset();
  }
  if (strategy.startAction == LocationManagerStrategy::kStartActionStopUpdates) return;
  timer_ = platform::Platform::current().runLoop().scheduleTimer(
      strategy.timeInterval, false, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->timerFired();
      });
}

void StrategiesStateMachine::clearCurrentStateOnMain() {
  const std::lock_guard lock(mutex_);
  ++changeGeneration_;
  currentStrategyType_ = StrategyTypeUnset;
  if (timer_) {
    timer_->invalidate();
    timer_.reset();
  }
}

TRStateMachingeContext StrategiesStateMachine::contextFromDelegate() const {
  // Without a delegate the decision reads as if the analyzer were in its initial mode.
  if (const auto delegate = lockedDelegate()) return delegate->getStateMachineContext();
  return {};
}

std::shared_ptr<StrategiesStateMachineDelegate> StrategiesStateMachine::lockedDelegate() const {
  const std::lock_guard lock(mutex_);
  return delegate_.lock();
}

}  // namespace trevalo
