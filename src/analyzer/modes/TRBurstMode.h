#pragma once

#include <memory>
#include <vector>

#include "analyzer/modes/TRAbstractMode.h"

namespace trevalo::platform {
class Timer;
}

namespace trevalo {

// A stop has just been detected: asks for the place to be geocoded, collects samples for 60 s
// on top of the 40 before the stop, then hands them all to the visit mode.
class TRBurstMode final : public TRAbstractMode {
 public:
  static constexpr double kDuration = 60.0;
  static constexpr std::size_t kEarlierSamples = 40;

  TRBurstMode(std::weak_ptr<TRModeDelegate> delegate,
              std::shared_ptr<TRLocationAnalyzerContext> context);
  ~TRBurstMode() override;

  void willEnterModeFrom(TRMode mode, const TRModeArguments& arguments) override;
  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;
  void willExitToMode(TRMode mode) override;
  // The samples collected: up to 40 from before the burst, then the burst's own.
  TRModeArguments result() const override;

  void timerFired();

  const std::vector<std::shared_ptr<TRVellLocation>>& burstLocations() const {
    return burstLocations_;
  }

 private:
  std::shared_ptr<platform::Timer> timer_;
  std::vector<std::shared_ptr<TRVellLocation>> burstLocations_;
};

}  // namespace trevalo
