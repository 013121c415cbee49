#pragma once

#include <memory>

#include "analyzer/modes/TRAbstractMode.h"

namespace trevalo::platform {
class Timer;
}

namespace trevalo {

// Start-up: waits 120 s from its entry, whatever samples arrive, then switches to walking.
class TRInitialMode final : public TRAbstractMode {
 public:
  static constexpr double kDuration = 120.0;

  TRInitialMode(std::weak_ptr<TRModeDelegate> delegate,
                std::shared_ptr<TRLocationAnalyzerContext> context);
  ~TRInitialMode() override;

  // Starts the 120 s afresh.
  void willEnterModeFrom(TRMode mode, const TRModeArguments& arguments) override;
  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;
  void willExitToMode(TRMode mode) override;

  void timerFired();

 private:
  std::shared_ptr<platform::Timer> timer_;
};

}  // namespace trevalo
