#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/facade/TrevaloDelegate.h"
#include "trevalo/facade/TrevaloDelegateReference.h"
#include "trevalo/model/TRAddress.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRGeofence.h"
#include "trevalo/model/TRPerson.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRSearchRequest.h"
#include "trevalo/model/TRUserValues.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/model/TRVisit.h"
#include "trevalo/platform/CircularRegion.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/Heading.h"
#include "trevalo/platform/Location.h"
#include "trevalo/platform/NotificationCenter.h"
#include "trevalo/platform/Task.h"
#include "trevalo/strategies/TRSetting.h"
#include "trevalo/utils/TRActivityMode.h"
#include "trevalo/utils/TROptions.h"

namespace trevalo::platform {
class Timer;
}

namespace trevalo {

class FacadeOptions;
class MetaOperationBase;
class Reachability;
class TRCachedVisit;
class TRMotionControl;
class TRVellLocation;
class TracemoorClient;
struct LocationManagerStrategy;
struct TRStateMachingeContext;
enum StrategyType : std::int32_t;

// The one object an application talks to. Started with an API token, a delegate and options,
// it keeps the location service running at the lowest power that still serves, turns fixes
// into visits, tells the delegate about them, and answers the queries below.
//
//   auto trevalo = Trevalo::sharedInstance();
//   trevalo->startWithApiToken(token, delegate, TROptions{{TROptionTimedUpdatesInterval, 60.0}});
//
// Threads. The platform's run loop is the SDK's main thread: every delegate callback arrives
// there. The operations below may be called from any thread. The lifecycle (start, launch,
// pause, resume) is carried out on the run loop in the order it was asked for: at once when
// called there with nothing of it still queued, otherwise queued behind the rest. Checks of
// the caller's input (the options, the token) are made at once, on the calling thread, and
// refused input raises there.
class Trevalo final : public std::enable_shared_from_this<Trevalo> {
  struct Key {
    explicit Key() = default;
  };

 public:
  using LocationHandler = std::function<void(std::optional<Location>, std::optional<Error>)>;
  using PlaceHandler = std::function<void(std::shared_ptr<TRPlace>, std::optional<Error>)>;
  using PlacesHandler = std::function<void(std::optional<std::vector<std::shared_ptr<TRPlace>>>,
                                           std::optional<Error>)>;
  using PeopleAtVenueHandler =
      std::function<void(std::optional<std::vector<std::shared_ptr<TRPerson>>>,
                         std::shared_ptr<TRVenue>, std::optional<Error>)>;
  using PeopleHandler = std::function<void(std::optional<std::vector<std::shared_ptr<TRPerson>>>,
                                           std::optional<Error>)>;
  using VisitsHandler = std::function<void(std::optional<std::vector<std::shared_ptr<TRVisit>>>,
                                           std::optional<Error>)>;
  using AddressHandler = std::function<void(std::shared_ptr<TRAddress>, std::optional<Error>)>;
  using UserValuesHandler = std::function<void(std::optional<Json>, std::optional<Error>)>;
  // For tools that replay the SDK: the strategy record applied to the location manager, the
  // type in force and the one before (equal on a keep-alive tick), on the run loop.
  using StrategyObserver = std::function<void(const LocationManagerStrategy& strategy,
                                              StrategyType current, StrategyType from)>;

  // The texts of the two exceptions a start can raise: the message of the invalid-argument
  // Exception about TROptionFilter, and the name of the Exception about the interval.
  static constexpr const char* kFilterOptionMessage =
      "TROptionFilter option must be an array of TRFilter objects";
  static constexpr const char* kTimedUpdatesIntervalException =
      "Invalid location update time interval. Time interval should be more than 1 second";
  // Identifiers of the regions that watch for movement during geofence sleep start with this.
  static constexpr const char* kGeofenceRegionPrefix = "tr_geofence";
  static constexpr double kGeofenceRegionRadius = 16.0;    // metres
  static constexpr double kGeofenceRegionDistance = 30.0;  // metres from the last location
  static constexpr double kStartHeadingFilter = 5.0;       // degrees

  // The process-wide facade, made on first use with a default context. The two share one
  // guard: whichever runs first makes the facade, and a context given later is ignored.
  static std::shared_ptr<Trevalo> sharedInstance();
  static std::shared_ptr<Trevalo> sharedInstanceWithContext(std::shared_ptr<TRContext> context);
  // A facade of its own on `context`, for tests and for embedding on a given platform (the one
  // installed now). The context must hold a location manager, an analyzer, a network client, a
  // sensor collector and a visit tracker; otherwise an invalid-argument Exception.
  static std::shared_ptr<Trevalo> initWithContext(std::shared_ptr<TRContext> context);

  Trevalo(Key, std::shared_ptr<TRContext> context);
  ~Trevalo();
  Trevalo(const Trevalo&) = delete;
  Trevalo& operator=(const Trevalo&) = delete;

  // Lifecycle ----------------------------------------------------------------------------------

  // Starts the SDK: the token goes to the network client, the options are read (and kept in
  // the user defaults for the next launch), and location work starts unless it runs already.
  // Options whose TROptionFilter entry is not a list of filters raise an invalid-argument
  // Exception (kFilterOptionMessage) and start nothing; a timed-updates interval above 0.001 s
  // and below 1 s raises the kTimedUpdatesIntervalException Exception after everything else
  // has started. Refused options are not kept: the options kept stay as they were.
  void startWithApiToken(const std::string& token, TrevaloDelegateReference delegate,
                         std::optional<TROptions> options);
  void startWithApiToken(const std::string& token, TrevaloDelegateReference delegate);
  // At every launch: starts with the options kept from the last start, if the SDK was running
  // when the process last ended; otherwise does nothing.
  void handleAppLaunch(const std::string& token, TrevaloDelegateReference delegate);
  // Stops all location work; a later launch starts nothing.
  void pause();
  // Starts location work again with the token given before; the not-running error (-9998)
  // when there is none.
  std::optional<Error> resume();
  bool isRunning() const;

  // Timed updates: `trevaloDidUpdateLocation` every `interval` seconds with the best location
  // known. An interval below 1 s raises the kTimedUpdatesIntervalException Exception. Replaces
  // earlier timed updates.
  void scheduleTimedUpdates(double interval);
  // The application's custom accuracy and distance filter, from the next strategy change on;
  // nothing (or TRSettingTypeNone) goes back to the presets.
  void applyOperationMode(std::optional<TRSetting> setting);

  std::optional<std::string> deviceId() const;
  void logDebugParameters() const;

  // The optional recording client (none unless attached) and a new session for it.
  void setTracemoorClient(std::shared_ptr<TracemoorClient> client);
  std::shared_ptr<TracemoorClient> tracemoorClient() const;
  void newTracemoorSession();

  void setStrategyObserver(StrategyObserver observer);

  const std::shared_ptr<TRContext>& trContext() const noexcept { return trContext_; }
  TrevaloDelegateReference delegate() const;
  bool isCompassOn() const;
  double callbackInterval() const;
  std::optional<TRSetting> currentSetting() const;
  // Copies of the filters of the last start; nothing when it had none.
  std::optional<std::vector<std::shared_ptr<TRFilter>>> filters() const;

  // Queries ------------------------------------------------------------------------------------
  // Every handler may be empty. Checks that fail answer at once, on the calling thread, with
  // the SDK's error; answers from the service arrive on the run loop, service errors unchanged.

  // The best location known; when there is none yet, the next batch of fixes answers (a later
  // request replaces an unanswered one, which is then never answered). -9998 when not running.
  void getCurrentLocationWithHandler(LocationHandler handler);
  // The place at the best location known: -9998 when not running, -9995 without a location.
  void getCurrentPlaceWithHandler(PlaceHandler handler);
  // -9998 when not running, -9996 without a location.
  void getPlaceForLocation(std::optional<Location> location, PlaceHandler handler);
  void reverseGeocodeLocation(const Location& location, PlaceHandler handler);
  // A request without a valid location searches around the best location known (set into the
  // request); -9995 when there is none. A null request raises an invalid-argument Exception.
  void searchForPlacesWithRequest(const std::shared_ptr<TRSearchRequest>& request,
                                  PlacesHandler completionHandler);
  // -9994 when the answer is not a list.
  void searchForVenues(const std::shared_ptr<TRSearchRequest>& request, PlacesHandler handler);
  // People at the venue of the current visit, with that venue; -9993 without one. Called off
  // the run loop, it is carried out there (and its handler called there).
  void getPeopleAtCurrentVenue(PeopleAtVenueHandler handler);
  // -9995 without a location.
  void getPeopleNearby(PeopleHandler handler);
  void getPriorVisits(VisitsHandler handler);
  void getHome(AddressHandler handler);
  void getWork(AddressHandler handler);
  // Uploads the user attributes of `values` (TRUserValue... keys) merged into any that failed
  // before, unless they were sent already; a failed upload is kept and sent again when the
  // application enters the background. Carried out on the run loop.
  void updateUserValues(const Json& values, UserValuesHandler handler);
  void updateUserValues(const Json& values);
  // Uploads device statistics, kept once sent.
  void updateStats(const std::shared_ptr<TRUserValues>& stats);
  // Sends the user values that failed and, unless the statistics kept are current, the
  // statistics. Runs when the application enters the background; nothing without a token.
  void resendFailedUserInfo();

 private:
  class Callbacks;

  void wireCollaborators();

  // Lifecycle, on the run loop.
  void runLifecycle(platform::Task work);
  void postLifecycleWork(platform::Task work);
  void awaitStateClear();
  void internalStartWithApiToken(const std::string& token, TrevaloDelegateReference delegate,
                                 const std::optional<TROptions>& options,
                                 const FacadeOptions& read);
  void requestAuthorization(bool whenInUseOnly);
  void startLocationWork();
  void startTracking(bool withStartHeadingFilter);
  void stopTracking();
  void pauseOnMain();
  void resumeOnMain();
  // Schedules the timer unless `interval` is below 1 s; whether it did.
  bool scheduleTimedUpdatesIfAccepted(double interval);
  void scheduleTimer(double interval);
  void invalidateTimedUpdates();
  void sendTimedLocation();
  void startMotion();
  void stopMotion();

  // Intake and notifications, on the run loop.
  void locationManagerDidUpdateLocations(const std::vector<Location>& locations);
  void locationManagerDidFailWithError(const Error& error);
  void locationManagerDidUpdateHeading(const platform::Heading& heading);
  void locationManagerDidEnterRegion(const platform::CircularRegion& region);
  void locationManagerDidExitRegion(const platform::CircularRegion& region);
  void regionEvent(const platform::CircularRegion& region, bool entry);
  void wakeFromGeofenceSleep();
  void onDeterminedFilteredTRLocation(const Location& location);
  void onConfirmedDepartedVenueWithEndDate(Date endDate);
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points);
  void reverseGeocode(const std::shared_ptr<TRVellLocation>& location);
  void didDetectedModeChange();
  void optionalDidStartVisit(const std::shared_ptr<TRCachedVisit>& visit);
  void optionalDidEndVisit(const std::shared_ptr<TRCachedVisit>& visit);
  void operationFinished(const std::shared_ptr<MetaOperationBase>& operation);
  void enteredRegion(const std::shared_ptr<TRGeofence>& geofence);
  void exitedRegion(const std::shared_ptr<TRGeofence>& geofence);
  void processActivityChange(TRActivityMode mode);
  void optionalWillChangeActivityMode(TRActivityMode mode);
  void reachabilityChanged();
  // The delegate, when it implements `callback`.
  std::shared_ptr<TrevaloDelegate> delegateFor(TrevaloDelegate::Callback callback) const;

  // Strategy application, on the run loop.
  TRStateMachingeContext getStateMachineContext();
  void strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from);
  void applyNewStrategy(const LocationManagerStrategy& strategy, StrategyType from);
  void newLoopProcessed();
  void turnCompassOn(bool on);
  void stopForGeofence();
  void startMonitoringForRegion(const platform::CircularRegion& region);

  // User values, on the run loop.
  void updateUserValuesOnMain(const Json& values, UserValuesHandler handler);
  void updateStatsOnMain(const std::shared_ptr<TRUserValues>& stats);
  void resendFailedUserInfoOnMain();
  // Runs `work` now on the run loop, or queues it there.
  void onRunLoop(platform::Task work);

  const std::shared_ptr<TRContext> trContext_;
  std::shared_ptr<Callbacks> callbacks_;
  std::shared_ptr<TRMotionControl> motionControl_;
  std::shared_ptr<Reachability> reachability_;
  std::vector<platform::NotificationCenter::Observation> observations_;

  // The facade lock.
  mutable std::recursive_mutex lock_;
  bool isRunning_ = false;
  bool isCompassOn_ = false;
  bool useIOSMotionActivity_ = false;
  std::optional<Json> debugMode_;
  std::optional<Json> debugMoved_;
  double callbackInterval_ = 0.0;
  std::shared_ptr<platform::Timer> scheduledLocationTimer_;
  TrevaloDelegateReference delegate_;
  std::optional<TRSetting> currentSetting_;
  std::optional<std::vector<std::shared_ptr<TRFilter>>> filters_;
  LocationHandler getCurrentLocationCallback_;
  std::shared_ptr<TracemoorClient> tracemoorClient_;
  StrategyObserver strategyObserver_;
  // Lifecycle work still queued on the run loop (later lifecycle work queues behind it), and
  // the clears of the state machine that pauses asked for and that have not landed yet (no
  // lifecycle work runs before they have).
  std::size_t queuedLifecycleWork_ = 0;
  std::size_t pendingStateClears_ = 0;
  // Geofence sleep, on the run loop. It needs a position taken since the SDK last woke: until
  // a fix arrives, a chosen sleep waits (pending) with location updates on.
  bool geofenceSleepPending_ = false;
  bool sleepPositionStale_ = false;
  bool geofenceAsleep_ = false;

  // Compared and set without the lock: activity reports may come from the sensor queue.
  std::atomic<std::uint32_t> previousActivityMode_{TRActivityModeUnknown};
};

}  // namespace trevalo
