#pragma once

#include <memory>

#include "analyzer/modes/TRAbstractMode.h"

namespace trevalo {

class MetaOperationBase;

// Staying while on a Wi-Fi network: samples change nothing; leaving the network (for another
// or for none) moves to visit-walking.
class TRWifiMode final : public TRAbstractMode {
 public:
  TRWifiMode(std::weak_ptr<TRModeDelegate> delegate,
             std::shared_ptr<TRLocationAnalyzerContext> context);

  // Keeps the visit operation it is handed (by the visit mode); anything else clears it.
  void willEnterModeFrom(TRMode mode, const TRModeArguments& arguments) override;
  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;
  void processWifiChange(bool left) override;
  void processOperationFinished(const std::shared_ptr<MetaOperationBase>& operation) override;

  std::shared_ptr<MetaOperationBase> operation;
};

}  // namespace trevalo
