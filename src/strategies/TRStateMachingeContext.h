#pragma once

#include <optional>

#include "trevalo/strategies/TRSetting.h"
#include "utils/TRMode.h"

namespace trevalo {

// The inputs of one strategy decision, built afresh by the state machine's delegate each time.
struct TRStateMachingeContext {
  TRMode algorithmMode = TRModeInitial;  // the analyzer's current mode
  bool everMovedInCurrentLoop = false;   // whether the user walked recently
  std::optional<TRSetting> customSetting;
};

}  // namespace trevalo
