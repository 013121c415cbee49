#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "trevalo/platform/Heading.h"
#include "trevalo/platform/LocationManager.h"
#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

// A location manager for any source of raw fixes and headings: a GPS receiver, a replayed
// trace, an application's own positioning. The source pushes everything it has, from any
// thread; the manager applies the location-manager contract in software and reports to its
// delegate on the run loop:
//
//  - Fixes go out only between startUpdatingLocation and stopUpdatingLocation, one callback
//    per pushed batch (the fixes of the batch that pass). A fix with an invalid coordinate or
//    without a horizontal accuracy (negative or not a number) says nothing about where the
//    device is and is dropped.
//  - The desired accuracy: a fix worse than it is held back while fixes within it keep coming,
//    that is, while one arrived less than kAccuracyGracePeriod earlier (by the fixes' own
//    timestamps). When none within it has come for that long, or none since the updates
//    started, the fixes there are go out as they come: a source that cannot meet the wish still
//    reports, and the SDK reads poor accuracy as a sign of being indoors. A desired accuracy of
//    zero or below (best) takes every fix.
//  - The distance filter: a fix closer than the filter to the last fix delivered is not
//    delivered. Zero or below takes every fix. The first fix after a start always goes out.
//  - Significant changes: while monitored and location updates are off, one fix every
//    kSignificantChangeDistance metres from the last fix delivered, the first one at once.
//  - Headings go out only while heading updates are on, and only when they differ by at least
//    the heading filter (degrees, around the circle) from the last heading delivered; a filter
//    of zero or below takes every heading. The true heading is compared, or the magnetic one
//    when the true one is negative (unknown).
//  - Monitored circular regions, on every fix whatever else is on: the first fix after a
//    region starts being monitored only tells on which side the device is (no event); an
//    entry is reported when a fix lies within the radius, an exit when a fix lies beyond the
//    radius by the exit margin, max(kMinimumExitMargin, kExitMarginFraction * radius). The
//    band between the two is the hysteresis that keeps a device standing on the border from
//    flapping in and out. Monitoring a region with the identifier of one monitored replaces it
//    (and forgets on which side the device was).
//  - Failures the source reports go to the delegate as they are.
//
// Every rule is applied when the pushed item is handled on the run loop, and checked again
// right before each callback: a fix, heading or region event pushed before the call that
// switched it off (stopUpdatingLocation, stopUpdatingHeading, stopMonitoringForRegion) is not
// delivered after that call.
//
// Activity type and automatic pausing are kept and reported back but change nothing, and the
// manager offers no authorisation requests or background switch: the source decides what it
// measures. Make it with std::make_shared: callbacks go out through a weak reference to it.
class SoftwareLocationManager : public LocationManager,
                                public std::enable_shared_from_this<SoftwareLocationManager> {
 public:
  static constexpr double kAccuracyGracePeriod = 10.0;         // seconds
  static constexpr double kSignificantChangeDistance = 500.0;  // metres
  static constexpr double kMinimumExitMargin = 10.0;           // metres
  static constexpr double kExitMarginFraction = 0.1;

  // A null run loop raises an invalid-argument Exception.
  explicit SoftwareLocationManager(std::shared_ptr<RunLoop> runLoop);
  ~SoftwareLocationManager() override;
  SoftwareLocationManager(const SoftwareLocationManager&) = delete;
  SoftwareLocationManager& operator=(const SoftwareLocationManager&) = delete;

  void setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) override;

  bool canRequestWhenInUseAuthorization() const override { return false; }
  bool canRequestAlwaysAuthorization() const override { return false; }
  bool canAllowBackgroundLocationUpdates() const override { return false; }
  void requestWhenInUseAuthorization() override {}
  void requestAlwaysAuthorization() override {}
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

  bool isUpdatingLocation() const;
  bool isUpdatingHeading() const;
  bool isMonitoringSignificantLocationChanges() const;
  // Whether anything asks for fixes (location updates, significant changes or a monitored
  // region) or for headings. A source that draws power can rest while nothing does.
  bool wantsLocations() const;
  bool wantsHeadings() const;

  // What the source pushes, from any thread. A batch is oldest first. Each returns whether
  // the item was taken for handling: false when nothing asks for it right now.
  bool pushLocations(std::vector<Location> locations);
  bool pushLocation(const Location& location);
  bool pushHeading(const Heading& heading);
  void pushFailure(const Error& error);

  // A second reader of the source's fixes, such as an activity classifier working from their
  // speed: it sees every batch the manager takes, as pushed, before any rule above is applied,
  // on the pushing thread. It must be quick and must not call back into this manager. Setting
  // one replaces the one before; an empty function removes it.
  using FixObserver = std::function<void(const std::vector<Location>&)>;
  void setFixObserver(FixObserver observer);

 protected:
  // Called after a call that changed wantsLocations() or wantsHeadings(), on the thread of
  // that call and outside the manager's lock.
  virtual void demandChanged() {}

 private:
  enum class Side { kUnknown, kInside, kOutside };
  struct MonitoredRegion {
    CircularRegion region;
    Side side = Side::kUnknown;
  };
  struct RegionEvent {
    CircularRegion region;
    bool entry = false;
  };
  struct Demand {
    bool locations = false;
    bool headings = false;
    bool operator==(const Demand&) const = default;
  };

  // Runs `change` under the lock and tells demandChanged() when the demand moved.
  template <class Change>
  void changeState(Change change);
  Demand demandLocked() const;
  template <class Callback>
  void post(Callback callback);

  void handleLocations(const std::vector<Location>& locations);
  void handleHeading(const Heading& heading);
  bool passesAccuracyLocked(const Location& fix);
  void crossingsLocked(const Location& fix, std::vector<RegionEvent>& events);
  bool stillMonitoredLocked(const CircularRegion& region) const;
  std::shared_ptr<LocationManagerDelegate> delegate() const;

  const std::shared_ptr<RunLoop> runLoop_;
  mutable std::mutex mutex_;
  std::weak_ptr<LocationManagerDelegate> delegate_;
  FixObserver fixObserver_;

  bool allowsBackground_ = false;
  double distanceFilter_ = kDistanceFilterNone;
  std::int64_t activityType_ = kActivityTypeOther;
  double desiredAccuracy_ = kLocationAccuracyBest;
  bool pausesAutomatically_ = true;
  double headingFilter_ = 1.0;

  bool updatingLocation_ = false;
  bool updatingHeading_ = false;
  bool monitoringSignificant_ = false;
  std::vector<MonitoredRegion> regions_;

  std::optional<Location> lastDelivered_;       // for the distance filter
  std::optional<Location> significantAnchor_;   // where the next significant change is measured
  std::optional<Date> lastWithinDesired_;       // the last fix within the desired accuracy
  std::optional<double> lastHeadingDelivered_;  // degrees
};

}  // namespace trevalo::platform
