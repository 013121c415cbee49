#pragma once

#include <cstdint>
#include <memory>

#include "analyzer/modes/TRAbstractMode.h"

namespace trevalo {

// Driving: tests only for leaving geofences, and waits for walking to be reported.
class TRCarMode final : public TRAbstractMode {
 public:
  TRCarMode(std::weak_ptr<TRModeDelegate> delegate,
            std::shared_ptr<TRLocationAnalyzerContext> context);

  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;
  // Walking (activity 2) switches back to the walking mode.
  void processActivityChange(std::uint64_t previousActivity, std::uint64_t newActivity) override;
};

}  // namespace trevalo
