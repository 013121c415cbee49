#include "analyzer/TRGeofencesManager.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <unordered_set>
#include <utility>

#include "model/ModelValues.h"
#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "utils/TRUtils.h"
#include "vell/TRMath.h"

namespace trevalo {

namespace {

constexpr const char* kGeofencesKey = "_geofences";
constexpr const char* kCenterLatitudeKey = "_center.latitude";
constexpr const char* kCenterLongitudeKey = "_center.longitude";
constexpr const char* kMaxKey = "_max";
constexpr const char* kFiltersKey = "self.filters";
constexpr const char* kCurrentGeofencesKey = "self.currentGeofences";

bool isUsable(const std::shared_ptr<TRFilter>& filter) {
  using model_detail::hasCharacters;
  // `!(radius > 0)` also turns away a NaN radius, which no distance could ever be inside.
  return filter && filter->radius > 0.0 &&
         (hasCharacters(filter->venueName) || hasCharacters(filter->venueCategory));
}

// A coordinate a pass can measure from. NaN fails every comparison of isValid.
bool isMeasurable(Coordinate coordinate) {
  return coordinate.isValid();
}

template <class Record>
std::string describeList(const std::vector<std::shared_ptr<Record>>& records) {
  std::string text = "(";
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i > 0) text += ", ";
    text += records[i] ? records[i]->description() : std::string("(null)");
  }
  return text + ")";
}

// Archived lists may hold nulls only if something else wrote them; a null geofence or filter
// has nothing to test, so it is left out.
template <class Record>
std::vector<std::shared_ptr<Record>> withoutNulls(std::vector<std::shared_ptr<Record>> records) {
  std::erase(records, nullptr);
  return records;
}

}  // namespace

TRGeofencesManager::GeofenceList::GeofenceList(Geofences list) : geofences(std::move(list)) {
  centers.reserve(geofences.size());
  points.reserve(geofences.size());
  for (const auto& geofence : geofences) {
    const Coordinate center = geofence ? geofence->center : kCoordinateInvalid;
    centers.push_back(center);
    points.push_back(TRMath::latLngToPoint(center));
  }
}

const TRVector& TRGeofencesManager::GeofenceList::pointOf(std::size_t index) const {
  const Coordinate center = geofences[index]->center;
  if (!(centers[index] == center)) {
    centers[index] = center;
    points[index] = TRMath::latLngToPoint(center);
  }
  return points[index];
}

std::shared_ptr<TRGeofencesManager> TRGeofencesManager::make() {
  return std::make_shared<TRGeofencesManager>(Key{});
}

TRGeofencesManager::TRGeofencesManager(Key) : fetch_(defaultFetchGeofences()) {}

std::shared_ptr<TRGeofencesManager> TRGeofencesManager::restoreManager() {
  try {
    auto manager = platform::KeyedUnarchiver::unarchiveObjectOfClassWithFile<TRGeofencesManager>(
        TRUtils::getDocumentsPath() / kArchiveFileName);
    if (manager) return manager;
  } catch (const platform::ArchiveError&) {
    // A damaged file costs only the cached geofences; the next location fetches them again.
  }
  return make();
}

std::shared_ptr<TRGeofencesManager> TRGeofencesManager::initWithCoder(
    platform::KeyedUnarchiver& coder) {
  auto manager = make();
  if (auto geofences = coder.decodeArrayOfObjectsOfClass<TRGeofence>(kGeofencesKey)) {
    manager->geofences_ = std::make_shared<const GeofenceList>(withoutNulls(std::move(*geofences)));
  }
  manager->center_ = {coder.decodeDouble(kCenterLatitudeKey),
                      coder.decodeDouble(kCenterLongitudeKey)};
  manager->max_ = coder.decodeDouble(kMaxKey);
  manager->filters_ =
      withoutNulls(coder.decodeArrayOfObjectsOfClass<TRFilter>(kFiltersKey).value_or(Filters{}));
  manager->currentGeofences_ = withoutNulls(
      coder.decodeArrayOfObjectsOfClass<TRGeofence>(kCurrentGeofencesKey).value_or(Geofences{}));
  return manager;
}

void TRGeofencesManager::encodeWithCoder(platform::KeyedArchiver& coder) const {
  const std::lock_guard lock(mutex_);
  if (geofences_) {
    coder.encodeObjects(geofences_->geofences, kGeofencesKey);
  } else {
    coder.encodeObject(nullptr, kGeofencesKey);
  }
  coder.encodeDouble(center_.latitude, kCenterLatitudeKey);
  coder.encodeDouble(center_.longitude, kCenterLongitudeKey);
  coder.encodeDouble(max_, kMaxKey);
  coder.encodeObjects(filters_, kFiltersKey);
  coder.encodeObjects(currentGeofences_, kCurrentGeofencesKey);
}

void TRGeofencesManager::updateFilters(const Filters& filters,
                                       std::weak_ptr<TRGeofenceDelegate> delegate) {
  const std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
  if (filtersAreTheSame(filters)) return;
  Filters usable;
  std::copy_if(filters.begin(), filters.end(), std::back_inserter(usable), isUsable);
  filters_ = std::move(usable);
  max_ = 0.0;
  geofences_.reset();
  ++filtersGeneration_;
}

bool TRGeofencesManager::filtersAreTheSame(const Filters& filters) const {
  const std::lock_guard lock(mutex_);
  if (filters.empty() || filters.size() != filters_.size()) return false;
  // The held filter judges the new one: the held ones all name a venue or category, so a new
  // filter that would be dropped as unusable can never count as the same.
  for (std::size_t i = 0; i < filters.size(); ++i) {
    if (!filters_[i]->isEqual(filters[i].get())) return false;
  }
  return true;
}

void TRGeofencesManager::processNewLocation(Coordinate coordinate) {
  if (!isMeasurable(coordinate)) return;
  {
    const std::lock_guard lock(mutex_);
    if (!hasUsableFilters()) return;
  }
  // Outside the lock: the fetch may call out to the network client.
  reloadGeofencesIfNeeded(coordinate, [] {});

  const std::lock_guard lock(mutex_);
  const std::shared_ptr<const GeofenceList> list = geofences_;
  if (!list) return;
  const TRVector here = TRMath::latLngToPoint(coordinate);
  Geofences working = currentGeofences_;
  // Membership is by identity. The set is only built when the user is inside something.
  std::unordered_set<const TRGeofence*> inside;
  for (const auto& geofence : working)
    inside.insert(geofence.get());

  for (std::size_t i = 0; i < list->geofences.size(); ++i) {
    const std::shared_ptr<TRGeofence>& geofence = list->geofences[i];
    if (!geofence) continue;
    const double distance = TRMath::distanceBetweenVector(here, list->pointOf(i));
    if (inside.contains(geofence.get())) {
      if (distance > geofence->radius + kExitMargin) {
        inside.erase(geofence.get());
        std::erase(working, geofence);
        if (const auto delegate = delegate_.lock()) delegate->exitedRegion(geofence);
      }
    } else if (geofence->radius > distance) {
      if (const auto delegate = delegate_.lock()) delegate->enteredRegion(geofence);
      inside.insert(geofence.get());
      working.push_back(geofence);
    }
  }
  currentGeofences_ = std::move(working);
}

void TRGeofencesManager::processExit(Coordinate coordinate) {
  const std::lock_guard lock(mutex_);
  if (!hasUsableFilters() || !isMeasurable(coordinate)) return;
  const Geofences snapshot = currentGeofences_;
  Geofences remaining;
  remaining.reserve(snapshot.size());
  for (const auto& geofence : snapshot) {
    const double distance = TRMath::vellDistanceFromLocation(coordinate, geofence->center);
    if (distance > geofence->radius) {
      if (const auto delegate = delegate_.lock()) delegate->exitedRegion(geofence);
    } else {
      remaining.push_back(geofence);
    }
  }
  currentGeofences_ = std::move(remaining);
}

void TRGeofencesManager::reloadGeofencesIfNeeded(Coordinate coordinate,
                                                 std::function<void()> complete) {
  FetchGeofences fetch;
  Filters filters;
  std::uint64_t generation;
  {
    const std::lock_guard lock(mutex_);
    const double far = center_.isValid() ? TRMath::vellDistanceFromLocation(center_, coordinate)
                                         : std::numeric_limits<double>::max();
    const Date now = Date::now();
    const bool rested =
        !lastRequestSentOn_ || now.timeIntervalSinceDate(*lastRequestSentOn_) > kReloadInterval;
    if (!(far > max_) || !rested) return;
    lastRequestSentOn_ = now;
    fetch = fetch_;
    filters = filters_;
    generation = filtersGeneration_;
  }
  if (!fetch) return;
  fetch(coordinate, filters,
        [weak = weak_from_this(), generation, coordinate, complete = std::move(complete)](
            std::optional<Json> answer, std::optional<Error> error) {
          const auto self = weak.lock();
          if (!self || error) return;
          self->storeFetch(generation, std::move(answer), coordinate, complete);
        });
}

void TRGeofencesManager::storeFetch(std::uint64_t filtersGeneration, std::optional<Json> answer,
                                    Coordinate center, const std::function<void()>& complete) {
  {
    const std::lock_guard lock(mutex_);
    if (filtersGeneration != filtersGeneration_) return;
    updateGeofences(answer ? TRGeofence::geofencesWithJson(*answer) : std::nullopt, center);
  }
  if (complete) complete();
}

void TRGeofencesManager::updateGeofences(std::optional<Geofences> geofences, Coordinate center) {
  {
    const std::lock_guard lock(mutex_);
    geofences_ = geofences
                     ? std::make_shared<const GeofenceList>(withoutNulls(std::move(*geofences)))
                     : nullptr;
    center_ = center;
    recalculateMaxDistance();
  }
  saveGeofences();
}

void TRGeofencesManager::recalculateMaxDistance() {
  const std::lock_guard lock(mutex_);
  if (!geofences_) return;
  for (const auto& geofence : geofences_->geofences) {
    const double distance = TRMath::vellDistanceFromLocation(center_, geofence->center);
    if (distance > max_) max_ = distance;
  }
}

bool TRGeofencesManager::saveGeofences() {
  return platform::KeyedArchiver::archiveRootObject(shared_from_this(),
                                                    TRUtils::getDocumentsPath() / kArchiveFileName);
}

std::string TRGeofencesManager::description() const {
  using model_detail::describe;
  const std::lock_guard lock(mutex_);
  return "TRGeofenceManager: geofences: " +
         (geofences_ ? describeList(geofences_->geofences) : std::string("(null)")) +
         "; center: " + describe(center_.latitude) + "," + describe(center_.longitude) +
         "; filters: " + describeList(filters_) +
         ". currentlyInGeofences:" + describeList(currentGeofences_);
}

void TRGeofencesManager::setFetchGeofences(FetchGeofences fetch) {
  const std::lock_guard lock(mutex_);
  fetch_ = std::move(fetch);
}

std::optional<TRGeofencesManager::Geofences> TRGeofencesManager::geofences() const {
  const std::lock_guard lock(mutex_);
  if (!geofences_) return std::nullopt;
  return geofences_->geofences;
}

Coordinate TRGeofencesManager::center() const {
  const std::lock_guard lock(mutex_);
  return center_;
}

double TRGeofencesManager::max() const {
  const std::lock_guard lock(mutex_);
  return max_;
}

std::optional<Date> TRGeofencesManager::lastRequestSentOn() const {
  const std::lock_guard lock(mutex_);
  return lastRequestSentOn_;
}

TRGeofencesManager::Filters TRGeofencesManager::filters() const {
  const std::lock_guard lock(mutex_);
  return filters_;
}

TRGeofencesManager::Geofences TRGeofencesManager::currentGeofences() const {
  const std::lock_guard lock(mutex_);
  return currentGeofences_;
}

std::shared_ptr<TRGeofenceDelegate> TRGeofencesManager::delegate() const {
  const std::lock_guard lock(mutex_);
  return delegate_.lock();
}

}  // namespace trevalo
