#include "trevalo/platform/SoftwareLocationManager.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

namespace {

bool saysWhere(const Location& fix) {
  return fix.coordinate().isValid() && fix.horizontalAccuracy() >= 0.0;
}

// Degrees between two directions, the short way round: 0 to 180.
double angleBetween(double a, double b) {
  const double difference = std::fmod(std::fabs(a - b), 360.0);
  return difference > 180.0 ? 360.0 - difference : difference;
}

double direction(const Heading& heading) {
  return heading.trueHeading >= 0.0 ? heading.trueHeading : heading.magneticHeading;
}

}  // namespace

SoftwareLocationManager::SoftwareLocationManager(std::shared_ptr<RunLoop> runLoop)
    : runLoop_(std::move(runLoop)) {
  if (!runLoop_) throw Exception(Exception::kInvalidArgument, "the run loop is missing");
}

SoftwareLocationManager::~SoftwareLocationManager() = default;

void SoftwareLocationManager::setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) {
  const std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<LocationManagerDelegate> SoftwareLocationManager::delegate() const {
  const std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void SoftwareLocationManager::setAllowsBackgroundLocationUpdates(bool allows) {
  const std::lock_guard lock(mutex_);
  allowsBackground_ = allows;
}

bool SoftwareLocationManager::allowsBackgroundLocationUpdates() const {
  const std::lock_guard lock(mutex_);
  return allowsBackground_;
}

void SoftwareLocationManager::setDistanceFilter(double metres) {
  const std::lock_guard lock(mutex_);
  distanceFilter_ = metres;
}

double SoftwareLocationManager::distanceFilter() const {
  const std::lock_guard lock(mutex_);
  return distanceFilter_;
}

void SoftwareLocationManager::setActivityType(std::int64_t activityType) {
  const std::lock_guard lock(mutex_);
  activityType_ = activityType;
}

std::int64_t SoftwareLocationManager::activityType() const {
  const std::lock_guard lock(mutex_);
  return activityType_;
}

void SoftwareLocationManager::setDesiredAccuracy(double metres) {
  const std::lock_guard lock(mutex_);
  desiredAccuracy_ = metres;
}

double SoftwareLocationManager::desiredAccuracy() const {
  const std::lock_guard lock(mutex_);
  return desiredAccuracy_;
}

void SoftwareLocationManager::setPausesLocationUpdatesAutomatically(bool pauses) {
  const std::lock_guard lock(mutex_);
  pausesAutomatically_ = pauses;
}

bool SoftwareLocationManager::pausesLocationUpdatesAutomatically() const {
  const std::lock_guard lock(mutex_);
  return pausesAutomatically_;
}

void SoftwareLocationManager::setHeadingFilter(double degrees) {
  const std::lock_guard lock(mutex_);
  headingFilter_ = degrees;
}

double SoftwareLocationManager::headingFilter() const {
  const std::lock_guard lock(mutex_);
  return headingFilter_;
}

template <class Change>
void SoftwareLocationManager::changeState(Change change) {
  bool moved = false;
  {
    const std::lock_guard lock(mutex_);
    const Demand before = demandLocked();
    change();
    moved = demandLocked() != before;
  }
  if (moved) demandChanged();
}

SoftwareLocationManager::Demand SoftwareLocationManager::demandLocked() const {
  return {.locations = updatingLocation_ || monitoringSignificant_ || !regions_.empty(),
          .headings = updatingHeading_};
}

void SoftwareLocationManager::startUpdatingLocation() {
  changeState([this] {
    if (updatingLocation_) return;
    updatingLocation_ = true;
    // A new run of updates starts afresh: its first fix goes out whatever came before.
    lastDelivered_.reset();
    lastWithinDesired_.reset();
  });
}

void SoftwareLocationManager::stopUpdatingLocation() {
  changeState([this] { updatingLocation_ = false; });
}

void SoftwareLocationManager::startUpdatingHeading() {
  changeState([this] {
    if (updatingHeading_) return;
    updatingHeading_ = true;
    lastHeadingDelivered_.reset();
  });
}

void SoftwareLocationManager::stopUpdatingHeading() {
  changeState([this] { updatingHeading_ = false; });
}

void SoftwareLocationManager::startMonitoringSignificantLocationChanges() {
  changeState([this] {
    if (monitoringSignificant_) return;
    monitoringSignificant_ = true;
    significantAnchor_.reset();
  });
}

void SoftwareLocationManager::stopMonitoringSignificantLocationChanges() {
  changeState([this] { monitoringSignificant_ = false; });
}

void SoftwareLocationManager::startMonitoringForRegion(const CircularRegion& region) {
  changeState([&] {
    std::erase_if(regions_,
                  [&](const auto& m) { return m.region.identifier == region.identifier; });
    regions_.push_back({region, Side::kUnknown});
  });
}

void SoftwareLocationManager::stopMonitoringForRegion(const CircularRegion& region) {
  changeState([&] {
    std::erase_if(regions_,
                  [&](const auto& m) { return m.region.identifier == region.identifier; });
  });
}

std::vector<CircularRegion> SoftwareLocationManager::monitoredRegions() const {
  const std::lock_guard lock(mutex_);
  std::vector<CircularRegion> regions;
  regions.reserve(regions_.size());
  for (const auto& monitored : regions_)
    regions.push_back(monitored.region);
  return regions;
}

bool SoftwareLocationManager::isUpdatingLocation() const {
  const std::lock_guard lock(mutex_);
  return updatingLocation_;
}

bool SoftwareLocationManager::isUpdatingHeading() const {
  const std::lock_guard lock(mutex_);
  return updatingHeading_;
}

bool SoftwareLocationManager::isMonitoringSignificantLocationChanges() const {
  const std::lock_guard lock(mutex_);
  return monitoringSignificant_;
}

bool SoftwareLocationManager::wantsLocations() const {
  const std::lock_guard lock(mutex_);
  return demandLocked().locations;
}

bool SoftwareLocationManager::wantsHeadings() const {
  const std::lock_guard lock(mutex_);
  return demandLocked().headings;
}

template <class Callback>
void SoftwareLocationManager::post(Callback callback) {
  runLoop_->post([weakSelf = weak_from_this(), callback = std::move(callback)]() mutable {
    if (const auto self = weakSelf.lock()) callback(*self);
  });
}

void SoftwareLocationManager::setFixObserver(FixObserver observer) {
  const std::lock_guard lock(mutex_);
  fixObserver_ = std::move(observer);
}

bool SoftwareLocationManager::pushLocations(std::vector<Location> locations) {
  if (locations.empty() || !wantsLocations()) return false;
  FixObserver observer;
  {
    const std::lock_guard lock(mutex_);
    observer = fixObserver_;
  }
  if (observer) observer(locations);
  post([locations = std::move(locations)](SoftwareLocationManager& self) {
    self.handleLocations(locations);
  });
  return true;
}

bool SoftwareLocationManager::pushLocation(const Location& location) {
  return pushLocations({location});
}

bool SoftwareLocationManager::pushHeading(const Heading& heading) {
  if (!wantsHeadings()) return false;
  post([heading](SoftwareLocationManager& self) { self.handleHeading(heading); });
  return true;
}

void SoftwareLocationManager::pushFailure(const Error& error) {
  post([error](SoftwareLocationManager& self) {
    if (const auto delegate = self.delegate())
      delegate->locationManagerDidFailWithError(self, error);
  });
}

bool SoftwareLocationManager::passesAccuracyLocked(const Location& fix) {
  if (desiredAccuracy_ <= 0.0 || fix.horizontalAccuracy() <= desiredAccuracy_) {
    lastWithinDesired_ = fix.timestamp();
    return true;
  }
  if (!lastWithinDesired_) return true;
  const double sinceGood = fix.timestamp().timeIntervalSinceDate(*lastWithinDesired_);
  // A fix stamped before the last good one (the source's clock stepped back) is no sign that
  // good fixes keep coming.
  return !(sinceGood >= 0.0 && sinceGood < kAccuracyGracePeriod);
}

void SoftwareLocationManager::crossingsLocked(const Location& fix,
                                              std::vector<RegionEvent>& events) {
  for (auto& monitored : regions_) {
    const auto& region = monitored.region;
    const double distance = fix.distanceFromLocation(
        Location(region.center, 0.0, 0.0, -1.0, -1.0, -1.0, fix.timestamp()));
    if (std::isnan(distance)) continue;
    const double exitMargin = std::max(kMinimumExitMargin, kExitMarginFraction * region.radius);
    switch (monitored.side) {
      case Side::kUnknown:
        monitored.side = distance <= region.radius ? Side::kInside : Side::kOutside;
        break;
      case Side::kOutside:
        if (distance <= region.radius) {
          monitored.side = Side::kInside;
          events.push_back({region, true});
        }
        break;
      case Side::kInside:
        if (distance > region.radius + exitMargin) {
          monitored.side = Side::kOutside;
          events.push_back({region, false});
        }
        break;
    }
  }
}

bool SoftwareLocationManager::stillMonitoredLocked(const CircularRegion& region) const {
  return std::any_of(regions_.begin(), regions_.end(),
                     [&](const auto& monitored) { return monitored.region == region; });
}

void SoftwareLocationManager::handleLocations(const std::vector<Location>& locations) {
  std::vector<Location> delivered;
  std::vector<RegionEvent> events;
  {
    const std::lock_guard lock(mutex_);
    for (const auto& fix : locations) {
      if (!saysWhere(fix)) continue;
      crossingsLocked(fix, events);
      bool deliver = false;
      if (updatingLocation_) {
        // Both rules run on every fix: the accuracy rule notes the good fixes even when the
        // distance filter then holds them back.
        const bool accurateEnough = passesAccuracyLocked(fix);
        deliver = accurateEnough && !(distanceFilter_ > 0.0 && lastDelivered_ &&
                                      fix.distanceFromLocation(*lastDelivered_) < distanceFilter_);
      } else if (monitoringSignificant_) {
        deliver = !significantAnchor_ ||
                  fix.distanceFromLocation(*significantAnchor_) >= kSignificantChangeDistance;
      }
      if (!deliver) continue;
      lastDelivered_ = fix;
      significantAnchor_ = fix;
      delivered.push_back(fix);
    }
  }

  if (!delivered.empty()) {
    std::shared_ptr<LocationManagerDelegate> listener;
    {
      const std::lock_guard lock(mutex_);
      if (updatingLocation_ || monitoringSignificant_) listener = delegate_.lock();
    }
    if (listener) listener->locationManagerDidUpdateLocations(*this, delivered);
  }
  for (const auto& event : events) {
    std::shared_ptr<LocationManagerDelegate> listener;
    {
      const std::lock_guard lock(mutex_);
      if (stillMonitoredLocked(event.region)) listener = delegate_.lock();
    }
    if (!listener) continue;
    if (event.entry) {
      listener->locationManagerDidEnterRegion(*this, event.region);
    } else {
      listener->locationManagerDidExitRegion(*this, event.region);
    }
  }
}

void SoftwareLocationManager::handleHeading(const Heading& heading) {
  std::shared_ptr<LocationManagerDelegate> listener;
  {
    const std::lock_guard lock(mutex_);
    if (!updatingHeading_) return;
    const double value = direction(heading);
    if (headingFilter_ > 0.0 && lastHeadingDelivered_ &&
        angleBetween(value, *lastHeadingDelivered_) < headingFilter_) {
      return;
    }
    lastHeadingDelivered_ = value;
    listener = delegate_.lock();
  }
  if (listener) listener->locationManagerDidUpdateHeading(*this, heading);
}

}  // namespace trevalo::platform
