#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analyzer/TRGeofenceDelegate.h"
#include "trevalo/Json.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRGeofence.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Error.h"
#include "vell/TRVector.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// Watches the server geofences that match the application's venue filters. It fetches the
// geofences around the user from the service, keeps them with the set the user is inside, and
// tells its delegate about entries and exits, tested in software with the chord distance of
// TRMath on the samples the walking and car modes pass in. After every fetch, and whenever the
// set the user is inside changes, it writes itself to the "trGeofences" archive in the
// documents directory, so that a relaunch tells of no entry or exit twice.
//
// Without a usable filter the manager is inert: no fetches and no events.
//
// The delegate is held weakly. The facade that implements it owns the analyzer, which owns the
// context, which owns this manager; a strong reference back would keep all of them alive for
// ever. The facade lives as long as the SDK runs, so nothing is lost.
//
// Calls are expected on the run loop. Every operation also takes the manager's recursive lock,
// and the entry and exit passes call the delegate with it held, once the pass is over and its
// outcome saved, so the delegate may call back into the manager.
class TRGeofencesManager final : public platform::Archivable,
                                 public std::enable_shared_from_this<TRGeofencesManager> {
  struct Key {
    explicit Key() = default;
  };

 public:
  static constexpr const char* kArchiveClassName = "TRGeofencesManager";
  static constexpr const char* kArchiveFileName = "trGeofences";
  // How far outside its radius the user must be, while walking, to leave a geofence.
  static constexpr double kExitMargin = 15.0;
  // The least time between two requests for geofences, successful or not.
  static constexpr double kReloadInterval = 30.0;

  using Geofences = std::vector<std::shared_ptr<TRGeofence>>;
  using Filters = std::vector<std::shared_ptr<TRFilter>>;
  // Completes once, with the service's answer or an error.
  using FetchCompletion = std::function<void(std::optional<Json>, std::optional<Error>)>;
  // Asks the service for the geofences around `center` that match `filters`.
  using FetchGeofences =
      std::function<void(Coordinate center, const Filters& filters, FetchCompletion complete)>;

  // A manager in its initial state: no geofences, an invalid center, `max` 0, no filters.
  static std::shared_ptr<TRGeofencesManager> make();
  // The manager kept in "trGeofences" in the documents directory of the installed platform; a
  // fresh one when the file is missing, unreadable or damaged.
  static std::shared_ptr<TRGeofencesManager> restoreManager();
  static std::shared_ptr<TRGeofencesManager> initWithCoder(platform::KeyedUnarchiver& coder);

  explicit TRGeofencesManager(Key);
  TRGeofencesManager(const TRGeofencesManager&) = delete;
  TRGeofencesManager& operator=(const TRGeofencesManager&) = delete;

  // Always takes `delegate`. A list that is not the same as the one held replaces it, without
  // the filters that have no positive radius or neither a venue name nor a category; the
  // geofences and `max` are then dropped, so that the next location fetches afresh.
  void updateFilters(const Filters& filters, std::weak_ptr<TRGeofenceDelegate> delegate);
  // Whether `filters` is non-empty and matches the held list element by element: the two
  // filters at each position accept each other (TRFilter::isEqual both ways), so that a
  // narrowed or widened filter is a change.
  bool filtersAreTheSame(const Filters& filters) const;

  // A walking sample: fetches when due, then reports entries (strictly inside the radius) and
  // exits (more than kExitMargin outside it) in the order of the geofence list, then exits
  // from geofences the user is in that the list no longer holds. A geofence of the list is the
  // same member as one the user is in when it names the same venue and address (or, naming
  // neither, has the same circle): a refetch brings no second entry. Geofences without a
  // valid centre are never entered. An invalid coordinate is ignored.
  void processNewLocation(Coordinate coordinate);
  // A driving sample: reports exits (outside the radius, no margin) from the geofences the
  // user is in. No fetch, no entries. An invalid coordinate is ignored.
  void processExit(Coordinate coordinate);

  // Fetches when the user is farther from `center` than `max` (always, before the first fetch)
  // and no request has been made in the last kReloadInterval seconds. A successful answer is
  // stored (`updateGeofences`) and then `complete` is called; a failed one changes nothing and
  // `complete` is not called. An answer that arrives after the filters have changed is
  // dropped: it belongs to the old filters.
  void reloadGeofencesIfNeeded(Coordinate coordinate, std::function<void()> complete);
  // Stores a fetch: the list (nothing when the answer was not a list), its center, the raised
  // `max`, and writes the archive.
  void updateGeofences(std::optional<Geofences> geofences, Coordinate center);
  // Raises `max` to the distance from `center` to the farthest geofence held that has a valid
  // centre; never lowers it.
  void recalculateMaxDistance();
  // Writes the archive file atomically; false when it could not be written (the previous file
  // is then kept, and the next fetch or change of the current set tries again).
  bool saveGeofences();

  // "TRGeofenceManager: geofences: (...); center: <lat>,<lng>; filters: (...).
  // currentlyInGeofences:(...)".
  std::string description() const;

  // Replaces how geofences are fetched. The default fetch is `defaultFetchGeofences()`.
  void setFetchGeofences(FetchGeofences fetch);
  // The fetch a new manager uses: the service client's geofence request.
  static FetchGeofences defaultFetchGeofences();

  std::optional<Geofences> geofences() const;
  Coordinate center() const;
  double max() const;
  std::optional<Date> lastRequestSentOn() const;
  Filters filters() const;
  // The geofences the user is inside, in the order they were entered; each the object of the
  // latest list that holds it.
  Geofences currentGeofences() const;
  std::shared_ptr<TRGeofenceDelegate> delegate() const;

  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  // The geofences of one fetch with their centers on the sphere of TRMath, worked out once so
  // that a pass over many geofences costs one square root each.
  struct GeofenceList {
    explicit GeofenceList(Geofences list);
    // The point of `index`; worked out again if the geofence's center has been changed.
    const TRVector& pointOf(std::size_t index) const;

    Geofences geofences;
    mutable std::vector<Coordinate> centers;
    mutable std::vector<TRVector> points;
    // What makes each geofence the same as one of another fetch (see `currentGeofences`).
    std::vector<std::string> identities;
  };
  // An entry (true) or exit of one pass, told to the delegate once the pass is over.
  struct Event {
    bool entered;
    std::shared_ptr<TRGeofence> geofence;
  };

  bool hasUsableFilters() const { return !filters_.empty(); }
  // Saves the archive when the set of current geofences changed, then tells the delegate.
  void tellDelegate(const std::vector<Event>& events, bool membershipChanged);
  void storeFetch(std::uint64_t filtersGeneration, std::optional<Json> answer, Coordinate center,
                  const std::function<void()>& complete);

  mutable std::recursive_mutex mutex_;
  std::shared_ptr<const GeofenceList> geofences_;  // nothing until a fetch, or after new filters
  Coordinate center_ = kCoordinateInvalid;
  double max_ = 0.0;
  std::optional<Date> lastRequestSentOn_;
  Filters filters_;
  Geofences currentGeofences_;
  std::weak_ptr<TRGeofenceDelegate> delegate_;
  FetchGeofences fetch_;
  // Counts the changes of filters, so that an answer can tell whether it is still wanted.
  std::uint64_t filtersGeneration_ = 0;
};

}  // namespace trevalo
