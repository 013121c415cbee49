#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "analyzer/TRGeofencesManager.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"
#include "vell/TRVellLocation.h"

namespace trevalo {

// The state the analyzer and its modes share: the rolling history of samples, the recent
// samples judged indoor, the outdoor-evidence counter, the Wi-Fi network last seen, when walking
// was last reported, the point of the current stay and the geofence manager. It answers the
// three questions the stay logic turns on: walked into a building, outdoors, walked lately.
//
// Used on the run loop only, except `lastWalkingDetectedOn`, which may be read and written from
// any thread.
class TRLocationAnalyzerContext {
 public:
  using History = std::deque<std::shared_ptr<TRVellLocation>>;

  static constexpr double kInitialWentOutside = 100.0;
  static constexpr double kStayAnchorDistance = 30.0;  // metres, the anchor of both questions
  static constexpr double kWalkedIndoorsMinimumAge = 15.0;
  static constexpr std::size_t kWalkedIndoorsMinimumIndoorSamples = 5;
  static constexpr double kOutdoorsWentOutside = 3.0;
  static constexpr double kOutdoorsAnchorAge = 120.0;
  static constexpr double kOutdoorsMaximumAccuracy = 65.0;
  static constexpr double kOutdoorsAfterWifiLoss = 180.0;
  static constexpr double kWalkingMemory = 120.0;

  // The geofence manager is restored from the documents directory of the installed platform.
  TRLocationAnalyzerContext();
  explicit TRLocationAnalyzerContext(std::shared_ptr<TRGeofencesManager> geofenceManager);
  TRLocationAnalyzerContext(const TRLocationAnalyzerContext&) = delete;
  TRLocationAnalyzerContext& operator=(const TRLocationAnalyzerContext&) = delete;

  // The anchor of a distance test: the earliest sample of `locations`, at or after
  // `lastLocation`, that lies within `threshold` metres of `location`. The scan starts at the
  // larger of `index` and the position of `lastLocation` in the history, and never moves the
  // anchor backwards; `index` receives the position of the anchor it settles on. The history
  // dropping entries from its front does not adjust `index`.
  std::shared_ptr<TRVellLocation> getFirstLocationWithDistanceLessThanThreshold(
      double threshold, const TRVellLocation& location,
      const std::shared_ptr<TRVellLocation>& lastLocation, std::uint64_t& index) const;

  // Whether the user has just walked into a building: the sample is indoor, it has stayed
  // within 30 m for at least 15 s, and at least five recent samples were indoor. Advances the
  // 30 m anchor.
  bool isWalkedIndoors(const TRVellLocation& location);
  // Whether the user is outside, as far as walking was reported in the last two minutes.
  // Advances the 30 m anchor.
  bool isOutdoors(const TRVellLocation& location);
  // Reads the Wi-Fi network name. True when the device has left the named network it was on
  // (for another one or for none); the time of that is kept.
  bool updateLastWifiNameAndDate();
  // Whether walking was reported less than two minutes ago.
  bool walkedInLast2Minutes() const;

  std::optional<Date> lastWalkingDetectedOn() const;
  void setLastWalkingDetectedOn(std::optional<Date> date);

  History locations;    // oldest first, at most 200 entries (kept so by the analyzer)
  History indoorArray;  // recent samples judged indoor, oldest first
  double wentOutside = kInitialWentOutside;
  std::optional<std::string> lastWifiName;
  std::optional<Date> lastWifiDisconnectedDate;
  Coordinate lastGeocodedPoint = kCoordinateInvalid;  // the stay point; invalid when none
  std::shared_ptr<TRGeofencesManager> geofenceManager;

 private:
  // Seconds since 1970; NaN for "never".
  std::atomic<double> lastWalkingDetectedOn_;
  std::shared_ptr<TRVellLocation> firstLocation30MAway_;
  std::uint64_t firstLocation30MAwayIndex_ = 0;
};

}  // namespace trevalo
