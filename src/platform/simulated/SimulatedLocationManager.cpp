#include "trevalo/platform/simulated/SimulatedLocationManager.h"

#include <algorithm>
#include <optional>

#include "platform/TextFormat.h"

namespace trevalo::platform {

namespace {
std::string flag(bool value) {
  return value ? "true" : "false";
}
}  // namespace

SimulatedLocationManager::SimulatedLocationManager(std::shared_ptr<RunLoop> runLoop)
    : runLoop_(std::move(runLoop)) {}

void SimulatedLocationManager::setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) {
  const std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

bool SimulatedLocationManager::canRequestWhenInUseAuthorization() const {
  const std::lock_guard lock(mutex_);
  return offersAuthorization_;
}

bool SimulatedLocationManager::canRequestAlwaysAuthorization() const {
  const std::lock_guard lock(mutex_);
  return offersAuthorization_;
}

bool SimulatedLocationManager::canAllowBackgroundLocationUpdates() const {
  const std::lock_guard lock(mutex_);
  return offersBackground_;
}

void SimulatedLocationManager::setOffersAuthorizationRequests(bool offers) {
  const std::lock_guard lock(mutex_);
  offersAuthorization_ = offers;
}

void SimulatedLocationManager::setOffersBackgroundLocationUpdates(bool offers) {
  const std::lock_guard lock(mutex_);
  offersBackground_ = offers;
}

void SimulatedLocationManager::requestWhenInUseAuthorization() {
  record("requestWhenInUseAuthorization");
}

void SimulatedLocationManager::requestAlwaysAuthorization() {
  record("requestAlwaysAuthorization");
}

void SimulatedLocationManager::setAllowsBackgroundLocationUpdates(bool allows) {
  const std::lock_guard lock(mutex_);
  allowsBackground_ = allows;
  calls_.push_back("allowsBackgroundLocationUpdates=" + flag(allows));
}

bool SimulatedLocationManager::allowsBackgroundLocationUpdates() const {
  const std::lock_guard lock(mutex_);
  return allowsBackground_;
}

void SimulatedLocationManager::setDistanceFilter(double metres) {
  const std::lock_guard lock(mutex_);
  distanceFilter_ = metres;
  calls_.push_back("distanceFilter=" + shortestText(metres));
}

double SimulatedLocationManager::distanceFilter() const {
  const std::lock_guard lock(mutex_);
  return distanceFilter_;
}

void SimulatedLocationManager::setActivityType(std::int64_t activityType) {
  const std::lock_guard lock(mutex_);
  activityType_ = activityType;
  calls_.push_back("activityType=" + std::to_string(activityType));
}

std::int64_t SimulatedLocationManager::activityType() const {
  const std::lock_guard lock(mutex_);
  return activityType_;
}

void SimulatedLocationManager::setDesiredAccuracy(double metres) {
  const std::lock_guard lock(mutex_);
  desiredAccuracy_ = metres;
  calls_.push_back("desiredAccuracy=" + shortestText(metres));
}

double SimulatedLocationManager::desiredAccuracy() const {
  const std::lock_guard lock(mutex_);
  return desiredAccuracy_;
}

void SimulatedLocationManager::setPausesLocationUpdatesAutomatically(bool pauses) {
  const std::lock_guard lock(mutex_);
  pausesAutomatically_ = pauses;
  calls_.push_back("pausesLocationUpdatesAutomatically=" + flag(pauses));
}

bool SimulatedLocationManager::pausesLocationUpdatesAutomatically() const {
  const std::lock_guard lock(mutex_);
  return pausesAutomatically_;
}

void SimulatedLocationManager::setHeadingFilter(double degrees) {
  const std::lock_guard lock(mutex_);
  headingFilter_ = degrees;
  calls_.push_back("headingFilter=" + shortestText(degrees));
}

double SimulatedLocationManager::headingFilter() const {
  const std::lock_guard lock(mutex_);
  return headingFilter_;
}

void SimulatedLocationManager::startUpdatingLocation() {
  const std::lock_guard lock(mutex_);
  updatingLocation_ = true;
  calls_.push_back("startUpdatingLocation");
}

void SimulatedLocationManager::stopUpdatingLocation() {
  const std::lock_guard lock(mutex_);
  updatingLocation_ = false;
  calls_.push_back("stopUpdatingLocation");
}

void SimulatedLocationManager::startUpdatingHeading() {
  const std::lock_guard lock(mutex_);
  updatingHeading_ = true;
  calls_.push_back("startUpdatingHeading");
}

void SimulatedLocationManager::stopUpdatingHeading() {
  const std::lock_guard lock(mutex_);
  updatingHeading_ = false;
  calls_.push_back("stopUpdatingHeading");
}

void SimulatedLocationManager::startMonitoringSignificantLocationChanges() {
  const std::lock_guard lock(mutex_);
  monitoringSignificant_ = true;
  calls_.push_back("startMonitoringSignificantLocationChanges");
}

void SimulatedLocationManager::stopMonitoringSignificantLocationChanges() {
  const std::lock_guard lock(mutex_);
  monitoringSignificant_ = false;
  calls_.push_back("stopMonitoringSignificantLocationChanges");
}

void SimulatedLocationManager::startMonitoringForRegion(const CircularRegion& region) {
  const std::lock_guard lock(mutex_);
  std::erase_if(regions_, [&](const auto& r) { return r.identifier == region.identifier; });
  regions_.push_back(region);
  calls_.push_back("startMonitoringForRegion:" + region.identifier);
}

void SimulatedLocationManager::stopMonitoringForRegion(const CircularRegion& region) {
  const std::lock_guard lock(mutex_);
  std::erase_if(regions_, [&](const auto& r) { return r.identifier == region.identifier; });
  calls_.push_back("stopMonitoringForRegion:" + region.identifier);
}

std::vector<CircularRegion> SimulatedLocationManager::monitoredRegions() const {
  const std::lock_guard lock(mutex_);
  return regions_;
}

bool SimulatedLocationManager::isUpdatingLocation() const {
  const std::lock_guard lock(mutex_);
  return updatingLocation_;
}

bool SimulatedLocationManager::isUpdatingHeading() const {
  const std::lock_guard lock(mutex_);
  return updatingHeading_;
}

bool SimulatedLocationManager::isMonitoringSignificantLocationChanges() const {
  const std::lock_guard lock(mutex_);
  return monitoringSignificant_;
}

std::vector<std::string> SimulatedLocationManager::calls() const {
  const std::lock_guard lock(mutex_);
  return calls_;
}

void SimulatedLocationManager::clearCalls() {
  const std::lock_guard lock(mutex_);
  calls_.clear();
}

void SimulatedLocationManager::record(std::string call) {
  const std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

template <class Callback>
void SimulatedLocationManager::deliver(Callback callback) {
  runLoop_->post([weakSelf = weak_from_this(), callback = std::move(callback)] {
    const auto self = weakSelf.lock();
    if (!self) return;
    std::shared_ptr<LocationManagerDelegate> delegate;
    {
      const std::lock_guard lock(self->mutex_);
      delegate = self->delegate_.lock();
    }
    if (delegate) callback(*self, *delegate);
  });
}

bool SimulatedLocationManager::deliverLocations(std::vector<Location> locations) {
  if (!isUpdatingLocation()) return false;
  deliver([locations = std::move(locations)](SimulatedLocationManager& self,
                                             LocationManagerDelegate& delegate) {
    if (self.isUpdatingLocation()) delegate.locationManagerDidUpdateLocations(self, locations);
  });
  return true;
}

bool SimulatedLocationManager::deliverHeading(const Heading& heading) {
  if (!isUpdatingHeading()) return false;
  deliver([heading](SimulatedLocationManager& self, LocationManagerDelegate& delegate) {
    if (self.isUpdatingHeading()) delegate.locationManagerDidUpdateHeading(self, heading);
  });
  return true;
}

bool SimulatedLocationManager::deliverRegionEntry(const std::string& identifier) {
  return deliverRegionEvent(identifier, true);
}

bool SimulatedLocationManager::deliverRegionExit(const std::string& identifier) {
  return deliverRegionEvent(identifier, false);
}

bool SimulatedLocationManager::isMonitoring(const CircularRegion& region) const {
  const std::lock_guard lock(mutex_);
  return std::find(regions_.begin(), regions_.end(), region) != regions_.end();
}

bool SimulatedLocationManager::deliverRegionEvent(const std::string& identifier, bool entry) {
  std::optional<CircularRegion> region;
  {
    const std::lock_guard lock(mutex_);
    for (const auto& r : regions_) {
      if (r.identifier == identifier) region = r;
    }
  }
  if (!region) return false;
  // The event is about this very area: one monitored again under the same identifier since is
  // another.
  deliver(
      [region = *region, entry](SimulatedLocationManager& self, LocationManagerDelegate& delegate) {
        if (!self.isMonitoring(region)) return;
        if (entry) {
          delegate.locationManagerDidEnterRegion(self, region);
        } else {
          delegate.locationManagerDidExitRegion(self, region);
        }
      });
  return true;
}

void SimulatedLocationManager::deliverFailure(const Error& error) {
  deliver([error](SimulatedLocationManager& self, LocationManagerDelegate& delegate) {
    delegate.locationManagerDidFailWithError(self, error);
  });
}

}  // namespace trevalo::platform
