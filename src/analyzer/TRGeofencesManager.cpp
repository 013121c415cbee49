#include "analyzer/TRGeofencesManager.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
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

// What makes two geofences the same place whatever fetch they came from: the venue and its
// address as the service names them, or, for a geofence the service names neither way, its
// circle.
std::string identityOf(const TRGeofence& geofence) {
  using model_detail::hasCharacters;
  const auto& venue = geofence.venue;
  if (venue && (hasCharacters(venue->venueId) || hasCharacters(venue->addressId))) {
    return "venue\x1f" + venue->addressId.value_or("") + "\x1f" + venue->venueId.value_or("");
  }
  return "circle\x1f" + model_detail::describe(geofence.center.latitude) + "\x1f" +
         model_detail::describe(geofence.center.longitude) + "\x1f" +
         model_detail::describe(geofence.radius);
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
  identities.reserve(geofences.size());
  for (const auto& geofence : geofences) {
    const Coordinate center = geofence ? geofence->center : kCoordinateInvalid;
    centers.push_back(center);
    points.push_back(TRMath::latLngToPoint(center));
    identities.push_back(geofence ? identityOf(*geofence) : std::string());
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
  // A filter accepts another whose fields it leaves open; only filters that accept each other
  // ask for the same venues, so a narrowed list (a category, a name or an address id added)
  // is a change. The held filters all name a venue or a category, so a new filter that would
  // be dropped as unusable is never the same as one of them.
  for (std::size_t i = 0; i < filters.size(); ++i) {
    if (!filters[i] || !filters_[i]->isEqual(filters[i].get()) ||
        !filters[i]->isEqual(filters_[i].get())) {
      return false;
    }
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
  const TRVector here = TRMath::latLngToPoint(coordinate);
  // Membership is by the geofence's identity, not by the object: a refetch brings the same
  // venue back as a new object, which takes the place of the old one in the set.
  struct Member {
    std::shared_ptr<TRGeofence> geofence;
    std::string identity;
    bool inList = false;
    bool left = false;
  };
  std::vector<Member> members;
  members.reserve(currentGeofences_.size());
  for (const auto& geofence : currentGeofences_)
    members.push_back({geofence, identityOf(*geofence)});
  std::vector<Event> events;

  const std::size_t count = list ? list->geofences.size() : 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::shared_ptr<TRGeofence>& geofence = list->geofences[i];
    if (!geofence || !geofence->center.isValid()) continue;
    const double distance = TRMath::distanceBetweenVector(here, list->pointOf(i));
    const auto member = std::find_if(members.begin(), members.end(), [&](const Member& m) {
      return !m.left && (m.geofence == geofence || m.identity == list->identities[i]);
    });
    if (member != members.end()) {
      member->geofence = geofence;
      member->inList = true;
      if (distance > geofence->radius + kExitMargin) {
        member->left = true;
        events.push_back({false, geofence});
      }
    } else if (geofence->radius > distance) {
      members.push_back({geofence, list->identities[i], true});
      events.push_back({true, geofence});
    }
  }
  // A geofence the latest fetch no longer brings is still left, once, when the user walks
  // out of it.
  for (Member& member : members) {
    if (member.inList || !member.geofence->center.isValid()) continue;
    const double distance = TRMath::vellDistanceFromLocation(coordinate, member.geofence->center);
    if (distance > member.geofence->radius + kExitMargin) {
      member.left = true;
      events.push_back({false, member.geofence});
    }
  }

  Geofences working;
  working.reserve(members.size());
  for (const Member& member : members) {
    if (!member.left) working.push_back(member.geofence);
  }
  const bool changed = working != currentGeofences_;
  currentGeofences_ = std::move(working);
  tellDelegate(events, changed);
}

void TRGeofencesManager::processExit(Coordinate coordinate) {
  const std::lock_guard lock(mutex_);
  if (!hasUsableFilters() || !isMeasurable(coordinate)) return;
  Geofences remaining;
  remaining.reserve(currentGeofences_.size());
  std::vector<Event> events;
  for (const auto& geofence : currentGeofences_) {
    const bool measurable = geofence->center.isValid();
    if (measurable &&
        TRMath::vellDistanceFromLocation(coordinate, geofence->center) > geofence->radius) {
      events.push_back({false, geofence});
    } else {
      remaining.push_back(geofence);
    }
  }
  const bool changed = !events.empty();
  currentGeofences_ = std::move(remaining);
  tellDelegate(events, changed);
}

void TRGeofencesManager::tellDelegate(const std::vector<Event>& events, bool membershipChanged) {
  // Written before anyone is told, so that a relaunch after the telling repeats nothing.
  if (membershipChanged) saveGeofences();
  const auto delegate = delegate_.lock();
  if (!delegate) return;
  for (const auto& [entered, geofence] : events) {
    if (entered) {
      delegate->enteredRegion(geofence);
    } else {
      delegate->exitedRegion(geofence);
    }
  }
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
  if (!geofences_ || !center_.isValid()) return;
  for (const auto& geofence : geofences_->geofences) {
    // A geofence without a centre is nowhere; it must not carry `max` off for good.
    if (!geofence->center.isValid()) continue;
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
