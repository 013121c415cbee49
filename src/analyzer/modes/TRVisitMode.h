#pragma once

#include <memory>

#include "analyzer/modes/TRAbstractMode.h"

namespace trevalo {

class MetaOperationBase;

// Staying at a place. Entered from a burst it hands the burst's samples to the delegate (which
// starts resolving the venue) and resets the outdoor evidence; entered from anywhere it moves
// the stay point to the latest sample. Joining a Wi-Fi network moves to the Wi-Fi mode, outdoor
// evidence to visit-walking.
class TRVisitMode final : public TRAbstractMode {
 public:
  TRVisitMode(std::weak_ptr<TRModeDelegate> delegate,
              std::shared_ptr<TRLocationAnalyzerContext> context);

  void willEnterModeFrom(TRMode mode, const TRModeArguments& arguments) override;
  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;
  void processWifiChange(bool left) override;
  // The visit operation of the stay, for the Wi-Fi mode.
  TRModeArguments result() const override;

  // What the delegate returned for the current stay's samples.
  std::shared_ptr<MetaOperationBase> operation;
};

}  // namespace trevalo
