#include "visits/VisitTracker.h"

#include <algorithm>
#include <any>
#include <cmath>
#include <sstream>
#include <utility>

#include "networking/Reachability.h"
#include "networking/TRNetworkClient.h"
#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/RunLoopDispatch.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Geocoder.h"
#include "trevalo/platform/OperationQueue.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/utils/TRLogger.h"
#include "utils/TRUtils.h"
#include "visits/operations/MetaOperationDepart.h"
#include "visits/operations/TROperationFactory.h"

namespace trevalo {

namespace {

bool isEmpty(const std::optional<std::string>& text) {
  return !text || text->empty();
}

bool applicationIsActive() {
  return platform::Platform::current().application().applicationState() ==
         platform::ApplicationState::kActive;
}

std::string describe(const char* className, const void* object) {
  if (!object) return "(null)";
  std::ostringstream text;
  text << '<' << className << ": " << object << '>';
  return text.str();
}

bool isUnknownPlace(const TRPlace& place) {
  return place.venue && place.venue->venueId == VisitTracker::kUnknownVenueId;
}

// Whether two stand-ins for unknown places lie within VisitTracker::kUnknownPlaceRadius of each
// other. One without a position (saved before positions were kept) is close to nothing.
bool closeTo(const std::shared_ptr<TRPlace>& place, const TRPlace& other) {
  if (!place || !place->address || !other.address) return false;
  const Location here(place->address->coordinate());
  const Location there(other.address->coordinate());
  return here.distanceFromLocation(there) <= VisitTracker::kUnknownPlaceRadius;
}

bool contains(const std::vector<std::shared_ptr<MetaOperationBase>>& list,
              const MetaOperationBase* operation) {
  return std::ranges::any_of(list,
                             [operation](const auto& entry) { return entry.get() == operation; });
}

}  // namespace

VisitTracker::VisitTracker(Key) {}

VisitTracker::~VisitTracker() {
  observations_.clear();
  if (reachability_) reachability_->stopNotifier();
}

std::filesystem::path VisitTracker::venueCachePath() {
  return TRUtils::getDocumentsPath() / kFileName;
}

std::shared_ptr<VisitTracker> VisitTracker::load() {
  const auto path = venueCachePath();
  auto& files = platform::Platform::current().fileSystem();
  std::shared_ptr<VisitTracker> tracker;
  try {
    tracker = platform::KeyedUnarchiver::unarchiveObjectOfClassWithFile<VisitTracker>(path);
  } catch (const Exception&) {
    // Damaged, truncated or foreign: nothing in it can be trusted, and it would only be
    // tried again at every launch.
    files.removeFile(path);
    return std::make_shared<VisitTracker>(Key{});
  }
  if (!tracker) return std::make_shared<VisitTracker>(Key{});
  if (tracker->readFromDamagedArchive_) {
    files.removeFile(path);
    tracker->readFromDamagedArchive_ = false;
    if (tracker->currentVisit_) tracker->saveTracker();
  }
  return tracker;
}

std::shared_ptr<VisitTracker> VisitTracker::cachedQueue(
    std::shared_ptr<TRNetworkClient> networkClient) {
  if (!networkClient) {
    throw Exception(Exception::kInvalidArgument, "the visit tracker needs a network client");
  }
  auto tracker = load();
  tracker->networkClient_ = std::move(networkClient);
  tracker->reachability_ = Reachability::reachabilityForInternetConnection();
  if (tracker->reachability_) tracker->reachability_->startNotifier();
  tracker->observe();
  return tracker;
}

void VisitTracker::observe() {
  auto& center = platform::Platform::current().notificationCenter();
  const std::weak_ptr<VisitTracker> weak = weak_from_this();
  observations_.push_back(center.addObserver(
      platform::Application::kDidBecomeActiveNotification, [weak](const platform::Notification&) {
        if (const auto self = weak.lock())
          platform::performOnRunLoop(*self, &VisitTracker::appBecomeActive);
      }));
  observations_.push_back(center.addObserver(
      platform::Application::kDidEnterBackgroundNotification,
      [weak](const platform::Notification&) {
        if (const auto self = weak.lock()) {
          platform::performOnRunLoop(*self, &VisitTracker::resendAllPendingOperations);
        }
      }));
  observations_.push_back(center.addObserver(
      kReachabilityChangedNotification, [weak](const platform::Notification& notification) {
        const auto self = weak.lock();
        if (!self) return;
        auto& runLoop = platform::Platform::current().runLoop();
        if (runLoop.isCurrent()) {
          self->reachabilityChanged(notification);
        } else {
          runLoop.post([weak, notification] {
            if (const auto tracker = weak.lock()) tracker->reachabilityChanged(notification);
          });
        }
      }));
}

void VisitTracker::createQueue() {
  if (!nsOperationQueue_) nsOperationQueue_ = std::make_unique<platform::OperationQueue>();
}

void VisitTracker::addArchivedOperations() {
  const auto descriptors = operationsQueue_;
  for (const auto& descriptor : descriptors) {
    if (contains(awaitingSave_, descriptor.get())) continue;
    if (hasRunningOperationFor(descriptor.get())) continue;
    enqueue(descriptor);
  }
}

bool VisitTracker::saveTracker() {
  if (!platform::KeyedArchiver::archiveRootObject(shared_from_this(), venueCachePath())) {
    TRLogger::instance()->send("visit tracker: the venue cache could not be written", "", 0);
    return false;
  }
  // Only now are these descriptors safe from a crash: their requests may go out.
  const auto ready = std::exchange(awaitingSave_, {});
  for (const auto& descriptor : ready) {
    if (contains(operationsQueue_, descriptor.get())) enqueue(descriptor);
  }
  return true;
}

void VisitTracker::enqueue(const std::shared_ptr<MetaOperationBase>& operation) {
  createQueue();
  nsOperationQueue_->addOperation(TROperationFactory::operationFor(
      operation, networkClient_, std::weak_ptr<TROperationDelegate>(weak_from_this())));
}

bool VisitTracker::hasRunningOperationFor(const MetaOperationBase* operation) const {
  if (!nsOperationQueue_) return false;
  return std::ranges::any_of(nsOperationQueue_->operations(), [operation](const auto& queued) {
    const auto* visitOperation = dynamic_cast<const TROperationBase*>(queued.get());
    return visitOperation && visitOperation->metaOperation().get() == operation;
  });
}

std::shared_ptr<MetaOperationBase> VisitTracker::determineLocationAtLocations(
    std::vector<std::shared_ptr<TRVellLocation>> locations, const Location& lastGeocodedPoint,
    std::optional<std::vector<std::shared_ptr<TRFilter>>> filter) {
  std::shared_ptr<MetaOperationBase> operation;
  if (outsideOfUS_) {
    operation = std::make_shared<MetaOperationGetAppleVenue>(weak_from_this(), lastGeocodedPoint,
                                                             Date::now());
  } else {
    operation = std::make_shared<MetaOperationGetVenueByLocations>(
        weak_from_this(), std::move(locations), Date::now(), std::move(filter));
  }
  addOperation(operation);
  return operation;
}

void VisitTracker::endVisit(Date endDate) {
  const auto visit = std::exchange(currentVisit_, nullptr);
  if (!visit) return;
  visit->setEndDate(endDate);
  // One write holds both the cleared visit and its log descriptor.
  reportEndVisit(visit, endDate);
  if (const auto listener = delegate()) listener->optionalDidEndVisit(visit);
}

void VisitTracker::reportEndVisit(const std::shared_ptr<TRCachedVisit>& visit, Date endDate) {
  if (!visit) throw Exception(Exception::kInvalidArgument, "there is no visit to log");
  // A copy, so that the operation reads (on its own thread) a record nobody changes any more.
  addOperation(
      std::make_shared<MetaOperationDepart>(std::make_shared<TRCachedVisit>(*visit), endDate));
}

void VisitTracker::resendAllPendingOperations() {
  if (!awaitingSave_.empty()) saveTracker();
  if (failCount_ > 0) {
    failCount_ = std::min(failCount_, kMaximumRetryExponent);
    const double wait = kRetryBaseInterval * std::exp2(static_cast<double>(failCount_));
    if (lastFailDate_ && !(Date::now().timeIntervalSinceDate(*lastFailDate_) > wait)) return;
  }
  if (!nsOperationQueue_) return;
  for (const auto& operation : nsOperationQueue_->operations()) {
    if (!operation->isExecuting() && !operation->isFinished()) operation->start();
  }
}

void VisitTracker::updateDepartureDate(Date endDate) {
  if (!currentVisit_) return;
  currentVisit_->setEndDate(endDate);
  saveTracker();
}

std::shared_ptr<TRCachedVisit> VisitTracker::assignNewCurrentVenue(std::shared_ptr<TRPlace> place,
                                                                   Date startDate) {
  currentVisit_ = TRCachedVisit::initWithResult(std::move(place), startDate, applicationIsActive());
  saveTracker();
  return currentVisit_;
}

void VisitTracker::addOperation(const std::shared_ptr<MetaOperationBase>& operation) {
  if (!operation) throw Exception(Exception::kInvalidArgument, "the descriptor is missing");
  if (operationsQueue_.size() >= kMaximumOperations) {
    operationsQueue_.resize(kOperationsKeptWhenFull);
    // A descriptor cut before it ever reached the disk is not sent either.
    std::erase_if(awaitingSave_, [this](const auto& waiting) {
      return !contains(operationsQueue_, waiting.get());
    });
  }
  operationsQueue_.push_back(operation);
  awaitingSave_.push_back(operation);
  saveTracker();
}

void VisitTracker::removeFromOperation(const std::shared_ptr<MetaOperationBase>& operation) {
  if (!operation) return;
  std::erase_if(operationsQueue_,
                [&operation](const auto& entry) { return operation->isEqual(entry.get()); });
  saveTracker();
  if (const auto listener = delegate()) listener->operationFinished(operation);
}

void VisitTracker::didGeocodeVenueByLocationsForResult(
    std::optional<Json> result, const std::shared_ptr<MetaOperationGetVenueByLocations>& operation,
    std::optional<Error> error) {
  if (!operation) throw Exception(Exception::kInvalidArgument, "the descriptor is missing");
  if (handleError(error)) return;
  const auto place = TRPlace::initWithDictionary(result ? &*result : nullptr);
  const bool noVenue = !place->venue || isEmpty(place->venue->venueId);
  const bool noAddress = !place->address || isEmpty(place->address->addressId);
  if (noVenue && noAddress) {
    didReceivedEmtpyVenue(operation);
    return;
  }
  outsideOfUS_ = false;
  logResolution(*place);
  handleCurrentVisitWithnewRsult(place, operation->startDate());
}

void VisitTracker::didReceivedEmtpyVenue(
    const std::shared_ptr<MetaOperationGetVenueByLocations>& operation) {
  // Filters ask for particular venues; a place found by the geocoder would not match them.
  if (!operation || operation->filters()) return;
  addOperation(std::make_shared<MetaOperationGetAppleVenue>(
      operation->weakDelegate(), operation->locations().back()->location, operation->startDate()));
}

void VisitTracker::didGeocodeAppleVenueByLocationForResult(
    std::optional<std::vector<platform::Placemark>> result,
    const std::shared_ptr<MetaOperationGetAppleVenue>& operation, std::optional<Error> error) {
  if (!operation) throw Exception(Exception::kInvalidArgument, "the descriptor is missing");
  if (error && error->domain() == platform::Geocoder::kErrorDomain &&
      error->code() == platform::Geocoder::kErrorUnavailable) {
    // No retry can succeed on a platform without a geocoder, and the descriptor would hold a
    // place in the capped list for ever.
    abandon(operation);
    return;
  }
  if (handleError(error)) return;
  const auto placemarks = result.value_or(std::vector<platform::Placemark>{});
  auto place = TRPlace::initWithPlacemarks(placemarks);
  const bool noName = !place->venue || isEmpty(place->venue->name);
  const bool noCountry = !place->address || isEmpty(place->address->country);
  if (noName && noCountry) {
    place->venue = std::make_shared<TRVenue>();
    place->venue->venueId = kUnknownVenueId;
    place->venue->name = kUnknownVenueName;
    // The stand-in names no place: where it lies is all that tells two of them apart (and all
    // the service learns of it). The placemark's own position, else the stay's.
    if (!place->address) place->address = std::make_shared<TRAddress>();
    if (placemarks.empty() || !placemarks.front().location) {
      place->address->lat = operation->location().coordinate().latitude;
      place->address->lon = operation->location().coordinate().longitude;
    }
  }
  // Only a country the geocoder names tells which side of the border the user is on; an
  // answer without one leaves the route of later stays as it was.
  if (!noCountry) outsideOfUS_ = place->outsideOfUS();
  logResolution(*place);
  handleCurrentVisitWithnewRsult(place, operation->startDate());
}

void VisitTracker::abandon(const std::shared_ptr<MetaOperationBase>& operation) {
  if (!operation) return;
  std::erase(operationsQueue_, operation);
  if (nsOperationQueue_) {
    for (const auto& queued : nsOperationQueue_->operations()) {
      const auto* visitOperation = dynamic_cast<const TROperationBase*>(queued.get());
      if (visitOperation && visitOperation->metaOperation() == operation) queued->cancel();
    }
  }
  saveTracker();
}

void VisitTracker::didFinishDepartOperationWithError(std::optional<Error> error) {
  handleError(error);
}

bool VisitTracker::handleError(const std::optional<Error>& error) {
  if (error) {
    ++failCount_;
    lastFailDate_ = Date::now();
    return true;
  }
  failCount_ = 0;
  return false;
}

void VisitTracker::handleCurrentVisitWithnewRsult(std::shared_ptr<TRPlace> result,
                                                  Date newStartDate) {
  auto candidate = TRCachedVisit::initWithResult(result, newStartDate, applicationIsActive());
  const auto listener = delegate();

  if (!currentVisit_) {
    currentVisit_ = candidate;
    saveTracker();
    if (listener) listener->optionalDidStartVisit(candidate);
    return;
  }

  const auto current = currentVisit_;
  if (current->startDate() > newStartDate) {
    // The answer is about a stay before the current visit (a retried resolution): log it as a
    // closed visit. It ended at the latest where the current one began; ending it "now" would
    // have the user in two places at once.
    const Date end = current->startDate();
    candidate->setEndDate(end);
    reportEndVisit(candidate, end);
    return;
  }

  const auto& end = current->endDate();
  const bool samePlace =
      result && result->hasValue() &&
      current->cachedVisitId() == TRCachedVisit::cachedIdForResult(result.get()) &&
      (!isUnknownPlace(*result) || closeTo(current->geocodeResult(), *result));
  const bool withinInterval =
      !end || std::fabs(newStartDate.timeIntervalSinceDate(*end)) < kSameVisitInterval;
  if (samePlace && withinInterval) {
    current->setEndDate(std::nullopt);
    saveTracker();
    return;
  }

  if (!end) current->setEndDate(newStartDate);
  // The new visit and the old one's log descriptor reach the file in one write.
  currentVisit_ = candidate;
  reportEndVisit(current, newStartDate);
  if (listener) {
    listener->optionalDidEndVisit(current);
    listener->optionalDidStartVisit(candidate);
  }
}

void VisitTracker::appBecomeActive() {
  if (!currentVisit_) return;
  currentVisit_->setAppActive(true);
  saveTracker();
}

void VisitTracker::reachabilityChanged(const platform::Notification& notification) {
  std::shared_ptr<Reachability> monitor = reachability_;
  if (const auto* poster = std::any_cast<std::shared_ptr<Reachability>>(&notification.object)) {
    if (*poster) monitor = *poster;
  }
  const bool reachable =
      monitor && monitor->currentReachabilityStatus() != NetworkStatusNotReachable;
  if (!previousReachabilityStatus_ && reachable) resendAllPendingOperations();
  previousReachabilityStatus_ = reachable;
}

void VisitTracker::logResolution(const TRPlace& place) const {
  TRLogger::instance()->send(
      "received venue: " + (place.venue ? place.venue->description() : std::string("(null)")) +
          ", addrss: " + describe("TRAddress", place.address.get()),
      "", 0);
}

std::shared_ptr<VisitTracker> VisitTracker::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto tracker = std::make_shared<VisitTracker>(Key{});
  try {
    tracker->currentVisit_ = coder.decodeObjectOfClass<TRCachedVisit>("_currentVisit");
    if (auto list = coder.decodeArrayOfObjectsOfClass<MetaOperationBase>("self.operationsQueue")) {
      std::erase(*list, nullptr);
      // A full list as the tracker writes it holds kMaximumOperations entries, the newest last:
      // it is kept whole, so that a restart does not lose that newest descriptor.
      if (list->size() > kMaximumOperations) list->resize(kOperationsKeptWhenFull);
      tracker->operationsQueue_ = std::move(*list);
    }
  } catch (const Exception&) {
    tracker->operationsQueue_.clear();
    tracker->readFromDamagedArchive_ = true;
  }
  return tracker;
}

void VisitTracker::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeObject(currentVisit_, "_currentVisit");
  coder.encodeObjects(operationsQueue_, "self.operationsQueue");
}

}  // namespace trevalo
