#pragma once

#include <memory>

#include "analyzer/modes/TRAbstractMode.h"

namespace trevalo {

// A mode value with no behaviour: nothing in the SDK switches to it. The strategy layer keys
// geofence sleep on it.
class TRGeofenceMode final : public TRAbstractMode {
 public:
  TRGeofenceMode(std::weak_ptr<TRModeDelegate> delegate,
                 std::shared_ptr<TRLocationAnalyzerContext> context);

  void willEnterModeFrom(TRMode mode, const TRModeArguments& arguments) override;
  TRMode processLocation(const std::shared_ptr<TRVellLocation>& location) override;
};

}  // namespace trevalo
