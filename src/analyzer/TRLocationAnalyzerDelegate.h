#pragma once

#include <memory>
#include <vector>

#include "trevalo/platform/Date.h"
#include "trevalo/platform/Location.h"
#include "vell/TRVellLocation.h"

namespace trevalo {

class MetaOperationBase;

// What the analyzer reports to the SDK's facade. Every call arrives on the run loop.
class TRLocationAnalyzerDelegate {
 public:
  virtual ~TRLocationAnalyzerDelegate() = default;

  // Inside every mode change, once the analyzer's `currentMode` holds the new mode and before
  // the new mode has started.
  virtual void didDetectedModeChange() = 0;
  // Once per processed sample, after the active mode has seen it.
  virtual void onDeterminedFilteredTRLocation(const Location& location) = 0;
  // The user has left the place of the current stay at `endDate`. Posted to the run loop, so it
  // arrives after the mode change that confirmed the departure has completed.
  virtual void onConfirmedDepartedVenueWithEndDate(Date endDate) = 0;
  // A stay has begun: the samples to resolve its venue from. The visit operation returned (or
  // nothing) is kept by the visit mode for the stay.
  virtual std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) = 0;
  // A stop has just been detected at `location`.
  virtual void reverseGeocode(const std::shared_ptr<TRVellLocation>& location) = 0;
};

}  // namespace trevalo
