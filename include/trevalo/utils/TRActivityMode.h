#pragma once

#include <cstdint>

namespace trevalo {

// The user's activity as reported to the application and fed to the analyzer.
enum TRActivityMode : std::uint32_t {
  TRActivityModeUnknown = 0,
  TRActivityModeStationary = 1,
  TRActivityModeWalking = 2,
  TRActivityModeRunning = 3,
  TRActivityModeCycling = 4,
  TRActivityModeAutomotive = 5,
};

}  // namespace trevalo
