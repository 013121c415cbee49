#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "strategies/LocationManagerStrategy.h"
#include "strategies/StrategiesStateMachineDelegate.h"
#include "strategies/TRStateMachingeContext.h"
#include "utils/StrategyType.h"

namespace trevalo::platform {
class Timer;
}

namespace trevalo {

// Decides which location-manager strategy is in force. Each strategy runs for its own interval
// on a one-shot timer of the platform's run loop; when the timer runs out, or when the analyzer
// changes mode (`forceStateChange`), the machine reads a fresh context from its delegate and
// moves on: short high-accuracy strategies alternate with long low-power ones, the pair chosen
// by the analyzer's mode.
//
// Every change happens on the platform's run loop: calls from other threads are posted there.
// The accessors may be called from any thread. Timers and posted work hold the machine weakly,
// so a machine that is gone is simply not called.
class StrategiesStateMachine : public std::enable_shared_from_this<StrategiesStateMachine> {
  struct Key {
    explicit Key() = default;
  };

 public:
  // The machine in state Unset, with its thirteen preset records.
  static std::shared_ptr<StrategiesStateMachine> make();
  static std::shared_ptr<StrategiesStateMachine> initWithDelegate(
      std::weak_ptr<StrategiesStateMachineDelegate> delegate);

  explicit StrategiesStateMachine(Key);
  ~StrategiesStateMachine();
  StrategiesStateMachine(const StrategiesStateMachine&) = delete;
  StrategiesStateMachine& operator=(const StrategiesStateMachine&) = delete;

  void setDelegate(std::weak_ptr<StrategiesStateMachineDelegate> delegate);

  // Changes to Initial with a fresh context.
  void startWithInitialState();
  // Moves on as if the current strategy's timer had run out, with a fresh context.
  void forceStateChange();
  // Enters `type` with the given context's custom setting. Raises an Exception named "Unknown
  // Strategy Type" at once, on the calling thread, for a type that has no record (Unset
  // included); nothing changes then.
  void changeStrategy(StrategyType type, TRStateMachingeContext settings);
  // Back to Unset with no timer, once the run loop gets to it (also when called on the run
  // loop). The delegate is not told.
  void stopAndClearCurrentState();

  // The record of the current type; nothing when Unset.
  std::optional<LocationManagerStrategy> currentStrategy() const;
  StrategyType currentStrategyType() const;
  // While the delegate is told of a change (strategyChangedTo), the type being entered, which
  // becomes current only afterwards; nothing otherwise.
  std::optional<StrategyType> strategyTypeBeingEntered() const;
  // Copies of the preset records, with any custom settings written into them.
  std::map<StrategyType, LocationManagerStrategy> strategies() const;
  // "{StateMachine:StrategyTypeLowWalking, for:170s}".
  std::string description() const;

  // The strategy the machine would move to from its current type. Raises an Exception named
  // "Mode is not implemented: <mode>" for a mode outside the known ones, and one named "Unknown
  // Strategy Type" for a current type outside Unset..Geofence.
  StrategyType nextStrategyForTimer(const TRStateMachingeContext& context) const;
  StrategyType nextStrategyForcedWithReasonContext(const TRStateMachingeContext& context) const;
  // The short high-accuracy and the long low-power strategy for the context's mode.
  static StrategyType getNextHighStrategyWith(const TRStateMachingeContext& context);
  static StrategyType getNextLowStrategyWith(const TRStateMachingeContext& context);

 private:
  // Marks the type being entered for as long as the delegate is told (changes nest when the
  // delegate makes one of its own).
  class EnteringType {
   public:
    EnteringType(StrategiesStateMachine& machine, StrategyType type);
    ~EnteringType();
    EnteringType(const EnteringType&) = delete;
    EnteringType& operator=(const EnteringType&) = delete;

   private:
    StrategiesStateMachine& machine_;
    std::optional<StrategyType> outer_;
  };

  void startWithInitialStateOnMain();
  void forceStateChangeWithReasonOnMain();
  void timerFired();
  void changeStrategyOnMain(StrategyType type, const TRStateMachingeContext& context);
  void clearCurrentStateOnMain();
  TRStateMachingeContext contextFromDelegate() const;
  std::shared_ptr<StrategiesStateMachineDelegate> lockedDelegate() const;

  mutable std::mutex mutex_;
  std::map<StrategyType, LocationManagerStrategy> strategies_;
  StrategyType currentStrategyType_ = StrategyTypeUnset;
  std::shared_ptr<platform::Timer> timer_;
  // Counts changes, so that a change finds out whether the delegate it called made another one
  // meanwhile (the newer one then stands).
  std::uint64_t changeGeneration_ = 0;
  std::optional<StrategyType> typeBeingEntered_;
  std::weak_ptr<StrategiesStateMachineDelegate> delegate_;
};

}  // namespace trevalo
