#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "trevalo/platform/CircularRegion.h"
#include "trevalo/platform/LocationManagerDelegate.h"

namespace trevalo::platform {

// Activity types a location manager can be told to expect.
inline constexpr std::int64_t kActivityTypeOther = 1;
inline constexpr std::int64_t kActivityTypeAutomotiveNavigation = 2;
inline constexpr std::int64_t kActivityTypeFitness = 3;
inline constexpr std::int64_t kActivityTypeOtherNavigation = 4;

// Desired accuracies and the distance filter, in metres.
inline constexpr double kLocationAccuracyBest = -1.0;
inline constexpr double kLocationAccuracyNearestTenMeters = 10.0;
inline constexpr double kLocationAccuracyHundredMeters = 100.0;
inline constexpr double kLocationAccuracyThreeKilometers = 3000.0;
inline constexpr double kDistanceFilterNone = -1.0;

// The location service: continuous fixes with settable accuracy, distance filter and activity
// type, compass headings, significant-change monitoring and circular-region monitoring. Its
// delegate callbacks arrive on the run loop of the installed platform.
class LocationManager {
 public:
  virtual ~LocationManager() = default;

  virtual void setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) = 0;

  // Which of the optional calls this manager offers.
  virtual bool canRequestWhenInUseAuthorization() const = 0;
  virtual bool canRequestAlwaysAuthorization() const = 0;
  virtual bool canAllowBackgroundLocationUpdates() const = 0;

  virtual void requestWhenInUseAuthorization() = 0;
  virtual void requestAlwaysAuthorization() = 0;
  virtual void setAllowsBackgroundLocationUpdates(bool allows) = 0;
  virtual bool allowsBackgroundLocationUpdates() const = 0;

  virtual void setDistanceFilter(double metres) = 0;
  virtual double distanceFilter() const = 0;
  virtual void setActivityType(std::int64_t activityType) = 0;
  virtual std::int64_t activityType() const = 0;
  virtual void setDesiredAccuracy(double metres) = 0;
  virtual double desiredAccuracy() const = 0;
  virtual void setPausesLocationUpdatesAutomatically(bool pauses) = 0;
  virtual bool pausesLocationUpdatesAutomatically() const = 0;
  virtual void setHeadingFilter(double degrees) = 0;
  virtual double headingFilter() const = 0;

  virtual void startUpdatingLocation() = 0;
  virtual void stopUpdatingLocation() = 0;
  virtual void startUpdatingHeading() = 0;
  virtual void stopUpdatingHeading() = 0;
  virtual void startMonitoringSignificantLocationChanges() = 0;
  virtual void stopMonitoringSignificantLocationChanges() = 0;

  // Monitoring a region whose identifier is already monitored replaces that region.
  virtual void startMonitoringForRegion(const CircularRegion& region) = 0;
  virtual void stopMonitoringForRegion(const CircularRegion& region) = 0;
  virtual std::vector<CircularRegion> monitoredRegions() const = 0;
};

}  // namespace trevalo::platform
