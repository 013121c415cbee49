#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "model/TRCachedVisit.h"
#include "trevalo/Json.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/Location.h"
#include "trevalo/platform/NotificationCenter.h"
#include "trevalo/platform/Placemark.h"
#include "vell/TRVellLocation.h"
#include "visits/VisitTrackerDelegate.h"
#include "visits/operations/MetaOperationBase.h"
#include "visits/operations/MetaOperationGetAppleVenue.h"
#include "visits/operations/MetaOperationGetVenueByLocations.h"
#include "visits/operations/TROperationDelegate.h"

namespace trevalo::platform {
class KeyedUnarchiver;
class OperationQueue;
struct Notification;
}  // namespace trevalo::platform

namespace trevalo {

class Reachability;
class TRNetworkClient;

// Turns detected stays and confirmed departures into visits. It holds the current visit,
// decides whether a resolved place continues it or starts a new one, tells its delegate when
// visits start and end, and has every finished visit logged to the service.
//
// All server work goes through a persisted list of descriptors (at most 11) kept in
// "trVenue.dat" in the documents directory, and is carried out by operations on the tracker's
// operation queue. The file is rewritten, atomically, after every change, and a descriptor's
// request goes out only once the descriptor is in the file: when a write fails, the new
// descriptors wait in memory and go out after the next write that succeeds (every change and
// every `resendAllPendingOperations` tries again). A descriptor leaves the file only after its
// operation succeeded. Failed operations stay in the queue and are started again by
// `resendAllPendingOperations`, after an exponential back-off (30 x 2^n seconds for n
// consecutive failures, n at most 7), and when the network becomes reachable again.
//
// Everything runs on the platform's run loop: callers call from it, the operations report to
// it, and the application and reachability notifications are handled on it.
class VisitTracker final : public platform::Archivable,
                           public TROperationDelegate,
                           public std::enable_shared_from_this<VisitTracker> {
 public:
  static constexpr const char* kArchiveClassName = "VisitTracker";
  static constexpr const char* kFileName = "trVenue.dat";
  // Before a descriptor is added to a list of kMaximumOperations or more, the list is cut to
  // its first kOperationsKeptWhenFull.
  static constexpr std::size_t kMaximumOperations = 11;
  static constexpr std::size_t kOperationsKeptWhenFull = 10;
  // A place seen again within this many seconds of the visit's recorded end continues it.
  static constexpr double kSameVisitInterval = 43200.0;
  static constexpr double kRetryBaseInterval = 30.0;
  static constexpr std::uint64_t kMaximumRetryExponent = 7;
  // Stand-ins for a geocoder answer with neither a venue name nor a country.
  static constexpr const char* kUnknownVenueId = "unknownId";
  static constexpr const char* kUnknownVenueName = "Unknown Venue";
  // Two unknown places are the same place only this close (metres): the analyzer confirms a
  // departure no nearer than this to where the user stayed, so closer stays are one stay as
  // far as it can tell, and fixes indoors scatter by tens of metres.
  static constexpr double kUnknownPlaceRadius = 100.0;

  // The tracker saved in the documents directory, or a fresh one (no visit, no descriptors)
  // when there is no file, or it is damaged, foreign or does not hold a tracker; a file that
  // cannot be read in full is deleted (what could be read is kept and written back). The
  // tracker then watches the internet connection's reachability and the application's
  // became-active and entered-background notifications. A null client raises an
  // invalid-argument Exception.
  static std::shared_ptr<VisitTracker> cachedQueue(std::shared_ptr<TRNetworkClient> networkClient);
  static std::filesystem::path venueCachePath();

  ~VisitTracker() override;
  VisitTracker(const VisitTracker&) = delete;
  VisitTracker& operator=(const VisitTracker&) = delete;

  void setDelegate(std::weak_ptr<VisitTrackerDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

  // Makes the operation queue (on the platform's operation executor) unless it exists; work
  // added before makes it too.
  void createQueue();
  // Queues an operation for every descriptor of the list that has none running, in list
  // order: the work restored from the file.
  void addArchivedOperations();
  // Writes the tracker to its file; false when the write failed (the old file then stays).
  bool saveTracker();

  // Queues the resolution of a stay and returns its descriptor: through the service with all
  // `locations` and `filter`, or, while the last place was outside the United States, through
  // the geocoder with `lastGeocodedPoint`. The visit will start now. An empty `locations` (or
  // a null entry) raises an invalid-argument Exception on the service path.
  std::shared_ptr<MetaOperationBase> determineLocationAtLocations(
      std::vector<std::shared_ptr<TRVellLocation>> locations, const Location& lastGeocodedPoint,
      std::optional<std::vector<std::shared_ptr<TRFilter>>> filter);
  // The departure from the current visit was confirmed at `endDate`: the visit ends, is
  // logged and is no longer current. Nothing without a current visit.
  void endVisit(Date endDate);
  // Queues the logging of a finished visit. The descriptor keeps a copy of the visit as it is
  // now.
  void reportEndVisit(const std::shared_ptr<TRCachedVisit>& visit, Date endDate);
  // Starts every queued operation that is neither running nor finished, unless the back-off
  // since the last failure has not passed yet.
  void resendAllPendingOperations();

  const std::shared_ptr<TRCachedVisit>& currentVisit() const noexcept { return currentVisit_; }
  void updateDepartureDate(Date endDate);
  std::shared_ptr<TRCachedVisit> assignNewCurrentVenue(std::shared_ptr<TRPlace> place,
                                                       Date startDate);

  // Appends a descriptor to the persisted list (cut first when full) and queues its
  // operation once it is saved.
  void addOperation(const std::shared_ptr<MetaOperationBase>& operation);
  // Drops every descriptor equal to `operation`, saves, and tells the delegate.
  void removeFromOperation(const std::shared_ptr<MetaOperationBase>& operation) override;

  void didGeocodeVenueByLocationsForResult(
      std::optional<Json> result,
      const std::shared_ptr<MetaOperationGetVenueByLocations>& operation,
      std::optional<Error> error) override;
  // The service knew neither venue nor address: without filters, ask the geocoder instead.
  void didReceivedEmtpyVenue(const std::shared_ptr<MetaOperationGetVenueByLocations>& operation);
  // A geocoder answer: the place of its first placemark; with neither a name nor a country, the
  // unknown venue at the placemark's position or else the stay's. Only an answer naming a
  // country decides whether later stays go to the geocoder (outside the United States).
  void didGeocodeAppleVenueByLocationForResult(
      std::optional<std::vector<platform::Placemark>> result,
      const std::shared_ptr<MetaOperationGetAppleVenue>& operation,
      std::optional<Error> error) override;
  void didFinishDepartOperationWithError(std::optional<Error> error) override;
  // Counts a failure (true) or clears the count (false, without an error).
  bool handleError(const std::optional<Error>& error);
  // The visit decision for a place resolved for a stay that started at `newStartDate`. A place
  // for a stay before the current visit is logged as a visit ending where the current one
  // began. The same place (the same identity, and for two unknown places no farther apart
  // than kUnknownPlaceRadius) within 12 hours continues the current visit; another ends it.
  void handleCurrentVisitWithnewRsult(std::shared_ptr<TRPlace> result, Date newStartDate);

  void appBecomeActive();
  void reachabilityChanged(const platform::Notification& notification);

  const std::vector<std::shared_ptr<MetaOperationBase>>& operationsQueue() const noexcept {
    return operationsQueue_;
  }
  // Nothing until created.
  platform::OperationQueue* nsOperationQueue() const noexcept { return nsOperationQueue_.get(); }
  const std::shared_ptr<TRNetworkClient>& networkClient() const noexcept { return networkClient_; }
  bool outsideOfUS() const noexcept { return outsideOfUS_; }
  std::uint64_t failCount() const noexcept { return failCount_; }
  const std::optional<Date>& lastFailDate() const noexcept { return lastFailDate_; }
  bool previousReachabilityStatus() const noexcept { return previousReachabilityStatus_; }

  // Reads the two archived fields; a list longer than the tracker ever writes (more than 11) is
  // cut to its first 10. A field that
  // cannot be read leaves the list empty and marks the tracker as read from a damaged file.
  static std::shared_ptr<VisitTracker> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  struct Key {
    explicit Key() = default;
  };

 public:
  explicit VisitTracker(Key);

 private:
  static std::shared_ptr<VisitTracker> load();
  void observe();
  void enqueue(const std::shared_ptr<MetaOperationBase>& operation);
  bool hasRunningOperationFor(const MetaOperationBase* operation) const;
  void abandon(const std::shared_ptr<MetaOperationBase>& operation);
  void logResolution(const TRPlace& place) const;
  std::shared_ptr<VisitTrackerDelegate> delegate() const { return delegate_.lock(); }

  std::shared_ptr<TRCachedVisit> currentVisit_;
  std::vector<std::shared_ptr<MetaOperationBase>> operationsQueue_;
  // Descriptors of the list whose operations wait for the list to be saved.
  std::vector<std::shared_ptr<MetaOperationBase>> awaitingSave_;
  std::unique_ptr<platform::OperationQueue> nsOperationQueue_;
  std::shared_ptr<TRNetworkClient> networkClient_;
  std::weak_ptr<VisitTrackerDelegate> delegate_;
  std::shared_ptr<Reachability> reachability_;
  std::vector<platform::NotificationCenter::Observation> observations_;
  bool previousReachabilityStatus_ = false;
  bool outsideOfUS_ = false;
  std::uint64_t failCount_ = 0;
  std::optional<Date> lastFailDate_;
  bool readFromDamagedArchive_ = false;
};

}  // namespace trevalo
