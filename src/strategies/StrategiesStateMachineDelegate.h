#pragma once

#include "strategies/LocationManagerStrategy.h"
#include "strategies/TRStateMachingeContext.h"
#include "utils/StrategyType.h"

namespace trevalo {

// Applies the strategies the state machine chooses and supplies the inputs of its decisions.
// Both calls arrive on the platform's run loop.
class StrategiesStateMachineDelegate {
 public:
  virtual ~StrategiesStateMachineDelegate() = default;

  // `strategy` is the record of the type being entered (with any custom setting written in);
  // `from` is the type in force until now.
  virtual void strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from) = 0;
  virtual TRStateMachingeContext getStateMachineContext() = 0;
};

}  // namespace trevalo
