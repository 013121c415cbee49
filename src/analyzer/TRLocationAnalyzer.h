#pragma once

#include <atomic>
#include <concepts>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "analyzer/TRGeofenceDelegate.h"
#include "analyzer/TRLocationAnalyzerContext.h"
#include "analyzer/TRLocationAnalyzerDelegate.h"
#include "analyzer/TRModeDelegate.h"
#include "analyzer/modes/TRAbstractMode.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/platform/Location.h"
#include "utils/TRMode.h"
#include "vell/TRVellLocation.h"

namespace trevalo {

class MetaOperationBase;

// Turns the stream of enriched samples into stays and departures. Every sample is kept in a
// 200-entry history, scored as indoor or outdoor and handed to exactly one active mode, which
// decides when to switch; the analyzer reports every switch, every processed location, each
// confirmed departure, and the requests to geocode a stop and to send a stay's samples to its
// delegate (the facade). Nothing is filtered out: every sample is stored, scored and passed on.
//
// Everything runs on the platform's run loop. `processActivityChange` called from another
// thread (the sensor analysis) is posted there, in order, so the analyzer's state is never
// changed from two threads; every other operation must be called on the run loop.
//
// The delegate is one object implementing both TRLocationAnalyzerDelegate and
// TRGeofenceDelegate (the facade); the analyzer holds it weakly, as two references to the same
// object, and hands the geofence side to the geofence manager in `updateFilter`.
class TRLocationAnalyzer final : public TRModeDelegate,
                                 public std::enable_shared_from_this<TRLocationAnalyzer> {
  struct Key {
    explicit Key() = default;
  };

 public:
  static constexpr std::size_t kHistoryLimit = 200;
  static constexpr std::size_t kIndoorHistoryLimit = 50;
  // The first samples only fill the history; no mode sees them.
  static constexpr std::size_t kWarmUpSamples = 4;
  static constexpr std::uint64_t kRollingAccelerometerNumber = 10;
  static constexpr std::uint64_t kWalkingActivity = 2;

  // An analyzer in the initial mode (entered on the first sample), with a new context whose
  // geofence manager is restored from the documents directory.
  static std::shared_ptr<TRLocationAnalyzer> make();
  static std::shared_ptr<TRLocationAnalyzer> make(
      std::shared_ptr<TRLocationAnalyzerContext> context);

  TRLocationAnalyzer(Key, std::shared_ptr<TRLocationAnalyzerContext> context);
  TRLocationAnalyzer(const TRLocationAnalyzer&) = delete;
  TRLocationAnalyzer& operator=(const TRLocationAnalyzer&) = delete;

  template <class Delegate>
  requires std::derived_from<Delegate, TRLocationAnalyzerDelegate> &&
      std::derived_from<Delegate, TRGeofenceDelegate>
  void setDelegate(const std::shared_ptr<Delegate>& delegate) {
    setDelegate(std::weak_ptr<TRLocationAnalyzerDelegate>(delegate),
                std::weak_ptr<TRGeofenceDelegate>(delegate));
  }
  void setDelegate(std::weak_ptr<TRLocationAnalyzerDelegate> delegate,
                   std::weak_ptr<TRGeofenceDelegate> geofenceDelegate);
  std::shared_ptr<TRLocationAnalyzerDelegate> delegate() const;
  std::shared_ptr<TRGeofenceDelegate> geofenceDelegate() const;

  // Adds the sample to the history, works out its speed and indoor score, runs the active mode
  // on it and reports it. Raises an invalid-argument Exception for a null sample.
  void processLocation(const std::shared_ptr<TRVellLocation>& location);
  // A motion-activity report (2 is walking).
  void processActivityChange(std::uint64_t activity);
  // One of the SDK's own movement regions reported an event: the user is moving.
  void processRegionExit();
  void processOperationFinished(const std::shared_ptr<MetaOperationBase>& operation);
  // Reads the Wi-Fi network name and tells the active mode whether the device left its network.
  void processLastWifiNameAndDate();
  // Hands the filters and the geofence delegate to the geofence manager.
  void updateFilter(const std::vector<std::shared_ptr<TRFilter>>& filters);

  // The platform location of the last sample processed. May be asked from any thread.
  std::optional<Location> getBestAvailableLocation() const;
  bool walkedInLast2Minutes() const;
  TRMode currentMode() const { return currentMode_.load(std::memory_order_acquire); }

  // TRModeDelegate.
  // Exits the active mode, makes `mode` current, tells the delegate, then enters `mode` with
  // what the old mode handed over. Switching to the active mode exits and enters it again.
  void changeModeTo(TRMode mode) override;
  // Posted to the run loop, so the delegate hears of the departure after the current step.
  void onConfirmedDepartedVenueWithEndDate(Date endDate) override;
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) override;
  void reverseGeocode(const std::shared_ptr<TRVellLocation>& location) override;

  // Scores `location` (stored as its `indoorScore`) and tells whether it counts as indoor:
  // poor accuracy, no course, no speed, and staying within 7.5 m for 15 s, 15 m for 15 s and
  // 20 m for 300 s each add evidence. Advances the analyzer's three anchors.
  bool indoor(TRVellLocation& location);
  // Lets the indoor samples fade while the user is outdoors: every second outdoor sample drops
  // the oldest, entries more than 120 s older than `location` go, and at most five stay.
  void ageIndoorArray(const TRVellLocation& location);

  const std::shared_ptr<TRLocationAnalyzerContext>& locationAnalyzerContext() const {
    return context_;
  }
  const std::map<TRMode, std::shared_ptr<TRAbstractMode>>& modes() const { return modes_; }
  bool initalized() const { return initalized_; }
  std::int64_t pointIndex() const { return pointIndex_; }
  std::int64_t indoorAgeCounter() const { return indoorAgeCounter_; }
  std::uint64_t currentActivity() const { return currentActivity_; }

 private:
  void createModes();
  void processActivityChangeOnRunLoop(std::uint64_t activity);
  // The anchor of one of the indoor tests advanced for `location`; its age in seconds.
  double anchorAge(double threshold, const TRVellLocation& location,
                   std::shared_ptr<TRVellLocation>& anchor, std::uint64_t& index) const;

  std::shared_ptr<TRLocationAnalyzerContext> context_;
  std::map<TRMode, std::shared_ptr<TRAbstractMode>> modes_;
  std::atomic<TRMode> currentMode_{TRModeInitial};
  bool initalized_ = false;
  std::int64_t pointIndex_ = 0;
  std::shared_ptr<TRVellLocation> indoorLastFarAwayPoint_;
  std::shared_ptr<TRVellLocation> indoorLastLooseFarAwayPoint_;
  std::shared_ptr<TRVellLocation> indoorLastFarAwayLongTimePoint_;
  std::uint64_t indoorLastFarAwayIndex_ = 0;
  std::uint64_t indoorLooseFarAwayIndex_ = 0;
  std::uint64_t indoorFarAwayLongTimeIndex_ = 0;
  std::int64_t indoorAgeCounter_ = 0;
  std::uint64_t currentActivity_ = 0;
  mutable std::mutex lastGoodLocationMutex_;
  std::optional<Location> lastGoodLocation_;

  mutable std::mutex delegateMutex_;
  std::weak_ptr<TRLocationAnalyzerDelegate> delegate_;
  std::weak_ptr<TRGeofenceDelegate> geofenceDelegate_;
};

}  // namespace trevalo
