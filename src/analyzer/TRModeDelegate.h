#pragma once

#include <memory>
#include <vector>

#include "trevalo/platform/Date.h"
#include "utils/TRMode.h"
#include "vell/TRVellLocation.h"

namespace trevalo {

class MetaOperationBase;

// What a mode asks of the analyzer that runs it.
class TRModeDelegate {
 public:
  virtual ~TRModeDelegate() = default;

  // Switches the active mode; the switch has completed when the call returns.
  virtual void changeModeTo(TRMode mode) = 0;
  // Reports a departure to the analyzer's delegate once the current step has finished.
  virtual void onConfirmedDepartedVenueWithEndDate(Date endDate) = 0;
  virtual std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) = 0;
  virtual void reverseGeocode(const std::shared_ptr<TRVellLocation>& location) = 0;
};

}  // namespace trevalo
