#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "trevalo/platform/LocationManager.h"
#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

// A location manager driven by its user: tests and replays deliver fixes, headings, region
// crossings and failures, which reach the delegate as posted tasks on the run loop. An
// application with a location source of its own can feed the SDK the same way.
//
// Every call and property write is recorded, in order, as text: a call by its name
// ("startUpdatingLocation"), a property write as "name=value" ("distanceFilter=4",
// "pausesLocationUpdatesAutomatically=false"), a region call with the identifier
// ("startMonitoringForRegion:tr_geofence0"). Numbers are written in their shortest exact form.
class SimulatedLocationManager final
    : public LocationManager,
      public std::enable_shared_from_this<SimulatedLocationManager> {
 public:
  explicit SimulatedLocationManager(std::shared_ptr<RunLoop> runLoop);

  void setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) override;

  bool canRequestWhenInUseAuthorization() const override;
  bool canRequestAlwaysAuthorization() const override;
  bool canAllowBackgroundLocationUpdates() const override;
  // Which optional calls this manager claims to offer (all of them by default).
  void setOffersAuthorizationRequests(bool offers);
  void setOffersBackgroundLocationUpdates(bool offers);

  void requestWhenInUseAuthorization() override;
  void requestAlwaysAuthorization() override;
  void setAllowsBackgroundLocationUpdates(bool allows) override;
  bool allowsBackgroundLocationUpdates() const override;

  void setDistanceFilter(double metres) override;
  double distanceFilter() const override;
  void setActivityType(std::int64_t activityType) override;
  std::int64_t activityType() const override;
  void setDesiredAccuracy(double metres) override;
  double desiredAccuracy() const override;
  void setPausesLocationUpdatesAutomatically(bool pauses) override;
  bool pausesLocationUpdatesAutomatically() const override;
  void setHeadingFilter(double degrees) override;
  double headingFilter() const override;

  void startUpdatingLocation() override;
  void stopUpdatingLocation() override;
  void startUpdatingHeading() override;
  void stopUpdatingHeading() override;
  void startMonitoringSignificantLocationChanges() override;
  void stopMonitoringSignificantLocationChanges() override;

  void startMonitoringForRegion(const CircularRegion& region) override;
  void stopMonitoringForRegion(const CircularRegion& region) override;
  std::vector<CircularRegion> monitoredRegions() const override;

  // State, for assertions.
  bool isUpdatingLocation() const;
  bool isUpdatingHeading() const;
  bool isMonitoringSignificantLocationChanges() const;
  std::vector<std::string> calls() const;
  void clearCalls();

  // Deliveries. Fixes are delivered only while location updates are on, and headings only while
  // heading updates are on (checked now and again when the posted task runs); the result says
  // whether the delivery was accepted. Region crossings are delivered only for a monitored
  // region with that identifier that is still monitored, unchanged, when the task runs.
  bool deliverLocations(std::vector<Location> locations);
  bool deliverHeading(const Heading& heading);
  bool deliverRegionEntry(const std::string& identifier);
  bool deliverRegionExit(const std::string& identifier);
  void deliverFailure(const Error& error);

 private:
  void record(std::string call);
  template <class Callback>
  void deliver(Callback callback);
  bool deliverRegionEvent(const std::string& identifier, bool entry);
  bool isMonitoring(const CircularRegion& region) const;

  std::shared_ptr<RunLoop> runLoop_;
  mutable std::mutex mutex_;
  std::weak_ptr<LocationManagerDelegate> delegate_;
  std::vector<std::string> calls_;
  std::vector<CircularRegion> regions_;

  bool offersAuthorization_ = true;
  bool offersBackground_ = true;
  bool allowsBackground_ = false;
  double distanceFilter_ = kDistanceFilterNone;
  std::int64_t activityType_ = kActivityTypeOther;
  double desiredAccuracy_ = kLocationAccuracyBest;
  bool pausesAutomatically_ = true;
  double headingFilter_ = 1.0;
  bool updatingLocation_ = false;
  bool updatingHeading_ = false;
  bool monitoringSignificant_ = false;
};

}  // namespace trevalo::platform
