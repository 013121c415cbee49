#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "analyzer/TRGeofenceDelegate.h"
#include "analyzer/TRLocationAnalyzer.h"
#include "analyzer/TRLocationAnalyzerDelegate.h"
#include "trevalo/Json.h"

namespace trevalo::tools {

// The analyzer's delegate in a replay: prints one JSON line for every call, stamped with the
// virtual clock.
class ReplayPrinter final : public TRLocationAnalyzerDelegate, public TRGeofenceDelegate {
 public:
  explicit ReplayPrinter(std::ostream& out);

  // The analyzer whose mode and history the lines report.
  void attach(std::weak_ptr<const TRLocationAnalyzer> analyzer);
  // The sample being processed, whose verdict the location line shows.
  void setCurrentSample(std::shared_ptr<const TRVellLocation> sample);

  void didDetectedModeChange() override;
  void onDeterminedFilteredTRLocation(const Location& location) override;
  void onConfirmedDepartedVenueWithEndDate(Date endDate) override;
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) override;
  void reverseGeocode(const std::shared_ptr<TRVellLocation>& location) override;

  // The replay sets no filters, so these are never called; they print all the same.
  void enteredRegion(const std::shared_ptr<TRGeofence>& geofence) override;
  void exitedRegion(const std::shared_ptr<TRGeofence>& geofence) override;

 private:
  Json line(const char* event) const;
  void print(const Json& line);

  std::ostream& out_;
  std::weak_ptr<const TRLocationAnalyzer> analyzer_;
  std::shared_ptr<const TRVellLocation> currentSample_;
};

}  // namespace trevalo::tools
