#pragma once

#include <memory>
#include <vector>

#include "analyzer/TRGeofenceDelegate.h"
#include "analyzer/TRLocationAnalyzerDelegate.h"
#include "motion/TRMotionControlDelegate.h"
#include "strategies/StrategiesStateMachineDelegate.h"
#include "strategies/TRKeepAliveLoopDelegate.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/LocationManagerDelegate.h"
#include "visits/VisitTrackerDelegate.h"

namespace trevalo {

// The facade in its roles as the delegate of its collaborators. The collaborators hold this
// object weakly, as they hold every delegate; it holds the facade weakly and hands each call
// to the facade's operation of the same name, so that a facade that is gone is simply not
// called.
class Trevalo::Callbacks final : public platform::LocationManagerDelegate,
                                 public TRLocationAnalyzerDelegate,
                                 public TRGeofenceDelegate,
                                 public VisitTrackerDelegate,
                                 public StrategiesStateMachineDelegate,
                                 public TRKeepAliveLoopDelegate,
                                 public TRMotionControlDelegate {
 public:
  explicit Callbacks(std::weak_ptr<Trevalo> facade) : facade_(std::move(facade)) {}

  // platform::LocationManagerDelegate
  void locationManagerDidUpdateLocations(platform::LocationManager& manager,
                                         const std::vector<Location>& locations) override;
  void locationManagerDidFailWithError(platform::LocationManager& manager,
                                       const Error& error) override;
  void locationManagerDidUpdateHeading(platform::LocationManager& manager,
                                       const platform::Heading& heading) override;
  void locationManagerDidEnterRegion(platform::LocationManager& manager,
                                     const platform::CircularRegion& region) override;
  void locationManagerDidExitRegion(platform::LocationManager& manager,
                                    const platform::CircularRegion& region) override;

  // TRLocationAnalyzerDelegate
  void didDetectedModeChange() override;
  void onDeterminedFilteredTRLocation(const Location& location) override;
  void onConfirmedDepartedVenueWithEndDate(Date endDate) override;
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) override;
  void reverseGeocode(const std::shared_ptr<TRVellLocation>& location) override;

  // TRGeofenceDelegate
  void enteredRegion(const std::shared_ptr<TRGeofence>& geofence) override;
  void exitedRegion(const std::shared_ptr<TRGeofence>& geofence) override;

  // VisitTrackerDelegate
  void optionalDidStartVisit(const std::shared_ptr<TRCachedVisit>& visit) override;
  void optionalDidEndVisit(const std::shared_ptr<TRCachedVisit>& visit) override;
  void operationFinished(const std::shared_ptr<MetaOperationBase>& operation) override;

  // StrategiesStateMachineDelegate
  void strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from) override;
  TRStateMachingeContext getStateMachineContext() override;

  // TRKeepAliveLoopDelegate
  void newLoopProcessed() override;

  // TRMotionControlDelegate
  void processActivityChange(TRActivityMode mode) override;
  void optionalWillChangeActivityMode(TRActivityMode mode) override;

 private:
  std::shared_ptr<Trevalo> facade() const { return facade_.lock(); }

  const std::weak_ptr<Trevalo> facade_;
};

}  // namespace trevalo
