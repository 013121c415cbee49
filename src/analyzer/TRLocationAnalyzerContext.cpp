#include "analyzer/TRLocationAnalyzerContext.h"

#include <cmath>
#include <limits>
#include <utility>

#include "utils/TRUtils.h"
#include "vell/TRMath.h"

namespace trevalo {

namespace {

constexpr double kNever = std::numeric_limits<double>::quiet_NaN();

bool hasCharacters(const std::optional<std::string>& text) {
  return text && !text->empty();
}

double distanceBetween(const TRVellLocation& a, const TRVellLocation& b) {
  return TRMath::vellDistanceFromLocation(a.location.coordinate(), b.location.coordinate());
}

// Where `anchor` sits in `history`, 0 when it is not there. The anchor is normally at or just
// below `hint` (its position when it was found, less what has been dropped since), so the
// search starts there and goes backwards first.
std::uint64_t positionOf(const TRLocationAnalyzerContext::History& history,
                         const std::shared_ptr<TRVellLocation>& anchor, std::uint64_t hint) {
  if (!anchor || history.empty()) return 0;
  const std::uint64_t count = history.size();
  const std::uint64_t from = std::min(hint, count - 1);
  for (std::uint64_t i = from + 1; i-- > 0;) {
    if (history[i] == anchor) return i;
  }
  for (std::uint64_t i = from + 1; i < count; ++i) {
    if (history[i] == anchor) return i;
  }
  return 0;
}

// Seconds from `anchor` to `location`; a missing anchor stands for the sample itself.
double ageOf(const TRVellLocation& location, const std::shared_ptr<TRVellLocation>& anchor) {
  if (!anchor) return 0.0;
  return location.timestamp().timeIntervalSinceDate(anchor->timestamp());
}

}  // namespace

TRLocationAnalyzerContext::TRLocationAnalyzerContext()
    : TRLocationAnalyzerContext(TRGeofencesManager::restoreManager()) {}

TRLocationAnalyzerContext::TRLocationAnalyzerContext(
    std::shared_ptr<TRGeofencesManager> geofenceManager)
    : geofenceManager(std::move(geofenceManager)), lastWalkingDetectedOn_(kNever) {}

std::shared_ptr<TRVellLocation>
TRLocationAnalyzerContext::getFirstLocationWithDistanceLessThanThreshold(
    double threshold, const TRVellLocation& location,
    const std::shared_ptr<TRVellLocation>& lastLocation, std::uint64_t& index) const {
  double distance = lastLocation ? distanceBetween(*lastLocation, location)
                                 : std::numeric_limits<double>::infinity();
  const std::uint64_t start = std::max(index, positionOf(locations, lastLocation, index));
  index = start;
  std::shared_ptr<TRVellLocation> result = lastLocation;
  for (std::uint64_t i = start; i < locations.size(); ++i) {
    if (distance <= threshold) return result;
    result = locations[i];
    index = i;
    distance =
        result ? distanceBetween(*result, location) : std::numeric_limits<double>::infinity();
  }
  return result;
}

bool TRLocationAnalyzerContext::isWalkedIndoors(const TRVellLocation& location) {
  firstLocation30MAway_ = getFirstLocationWithDistanceLessThanThreshold(
      kStayAnchorDistance, location, firstLocation30MAway_, firstLocation30MAwayIndex_);
  return location.isIndoor && ageOf(location, firstLocation30MAway_) >= kWalkedIndoorsMinimumAge &&
         indoorArray.size() >= kWalkedIndoorsMinimumIndoorSamples;
}

bool TRLocationAnalyzerContext::isOutdoors(const TRVellLocation& location) {
  firstLocation30MAway_ = getFirstLocationWithDistanceLessThanThreshold(
      kStayAnchorDistance, location, firstLocation30MAway_, firstLocation30MAwayIndex_);
  if (!walkedInLast2Minutes()) return false;
  if (!location.isIndoor) return true;
  if (wentOutside >= kOutdoorsWentOutside) return true;
  if (ageOf(location, firstLocation30MAway_) <= kOutdoorsAnchorAge &&
      location.location.horizontalAccuracy() < kOutdoorsMaximumAccuracy) {
    return true;
  }
  const double sinceWifiLoss =
      location.timestamp().timeIntervalSince1970() -
      (lastWifiDisconnectedDate ? lastWifiDisconnectedDate->timeIntervalSince1970() : 0.0);
  return sinceWifiLoss <= kOutdoorsAfterWifiLoss;
}

bool TRLocationAnalyzerContext::updateLastWifiNameAndDate() {
  std::optional<std::string> name = TRUtils::fetchSSIDInfo();
  const bool left = hasCharacters(lastWifiName) && name != lastWifiName;
  if (left) lastWifiDisconnectedDate = Date::now();
  lastWifiName = std::move(name);
  return left;
}

bool TRLocationAnalyzerContext::walkedInLast2Minutes() const {
  const auto walked = lastWalkingDetectedOn();
  return walked && Date::now().timeIntervalSinceDate(*walked) < kWalkingMemory;
}

std::optional<Date> TRLocationAnalyzerContext::lastWalkingDetectedOn() const {
  const double seconds = lastWalkingDetectedOn_.load(std::memory_order_acquire);
  if (std::isnan(seconds)) return std::nullopt;
  return Date(seconds);
}

void TRLocationAnalyzerContext::setLastWalkingDetectedOn(std::optional<Date> date) {
  // A NaN instant is no instant; it reads back as "never" rather than as a time.
  lastWalkingDetectedOn_.store(date ? date->timeIntervalSince1970() : kNever,
                               std::memory_order_release);
}

}  // namespace trevalo
