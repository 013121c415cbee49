// The facade's queries: current location and place, places, venues, people, visits, home and
// work.
#include <utility>

#include "analyzer/TRLocationAnalyzer.h"
#include "model/TRCachedVisit.h"
#include "networking/TRNetworkClient.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/Exception.h"
#include "utils/TRUtils.h"
#include "visits/VisitTracker.h"

namespace trevalo {

namespace {

constexpr std::int64_t kNotRunning = -9998;
constexpr std::int64_t kNoLocation = -9996;
constexpr std::int64_t kLocationNotDetermined = -9995;
constexpr std::int64_t kNoVenues = -9994;
constexpr std::int64_t kNoCurrentVenue = -9993;

Error error(std::int64_t code) {
  return TRUtils::errorWithCode(code);
}

// An answer without a body reads as JSON null.
const Json& answerOf(const std::optional<Json>& result) {
  static const Json kNull;
  return result ? *result : kNull;
}

// A completion that hands the application either its answer converted by `convert` or the
// failure; an empty value (no place, no list) goes with the failure.
template <typename Handler, typename Convert>
auto convertedAnswer(Handler handler, Convert convert) {
  return [handler = std::move(handler), convert](std::optional<Json> result,
                                                 std::optional<Error> failure) {
    if (!handler) return;
    if (failure) {
      handler({}, std::move(failure));
    } else {
      handler(convert(answerOf(result)), std::nullopt);
    }
  };
}

}  // namespace

void Trevalo::getCurrentLocationWithHandler(LocationHandler handler) {
  const std::lock_guard lock(lock_);
  if (!isRunning_) {
    if (handler) handler(std::nullopt, error(kNotRunning));
    return;
  }
  if (const auto best = trContext_->analyzeLocations->getBestAvailableLocation()) {
    getCurrentLocationCallback_ = nullptr;
    if (handler) handler(best, std::nullopt);
    return;
  }
  // An earlier request still waiting is replaced, and never answered.
  getCurrentLocationCallback_ = std::move(handler);
}

void Trevalo::getCurrentPlaceWithHandler(PlaceHandler handler) {
  if (!isRunning()) {
    if (handler) handler(nullptr, error(kNotRunning));
    return;
  }
  const auto best = trContext_->analyzeLocations->getBestAvailableLocation();
  if (!best) {
    if (handler) handler(nullptr, error(kLocationNotDetermined));
    return;
  }
  reverseGeocodeLocation(*best, std::move(handler));
}

void Trevalo::getPlaceForLocation(std::optional<Location> location, PlaceHandler handler) {
  if (!isRunning()) {
    if (handler) handler(nullptr, error(kNotRunning));
    return;
  }
  if (!location) {
    if (handler) handler(nullptr, error(kNoLocation));
    return;
  }
  reverseGeocodeLocation(*location, std::move(handler));
}

void Trevalo::reverseGeocodeLocation(const Location& location, PlaceHandler handler) {
  trContext_->networkClient->reverseGeocodeLocation(
      location, convertedAnswer(std::move(handler), [](const Json& answer) {
        return TRPlace::initWithDictionary(answer);
      }));
}

void Trevalo::searchForPlacesWithRequest(const std::shared_ptr<TRSearchRequest>& request,
                                         PlacesHandler completionHandler) {
  if (!request) throw Exception(Exception::kInvalidArgument, "a search needs a request");
  if (!request->hasValidLocation()) {
    const auto best = trContext_->analyzeLocations->getBestAvailableLocation();
    if (!best) {
      if (completionHandler) completionHandler(std::nullopt, error(kLocationNotDetermined));
      return;
    }
    request->location = best;
  }
  searchForVenues(request, std::move(completionHandler));
}

void Trevalo::searchForVenues(const std::shared_ptr<TRSearchRequest>& request,
                              PlacesHandler handler) {
  if (!request) throw Exception(Exception::kInvalidArgument, "a search needs a request");
  trContext_->networkClient->searchForVenues(
      *request,
      [handler = std::move(handler)](std::optional<Json> result, std::optional<Error> failure) {
        if (!handler) return;
        if (failure) {
          handler(std::nullopt, std::move(failure));
        } else if (answerOf(result).is_array()) {
          handler(TRPlace::placesWithSearchJson(*result), std::nullopt);
        } else {
          handler(std::nullopt, error(kNoVenues));
        }
      });
}

void Trevalo::getPeopleAtCurrentVenue(PeopleAtVenueHandler handler) {
  // The current visit belongs to the visit tracker, which lives on the run loop.
  onRunLoop([weakSelf = weak_from_this(), handler = std::move(handler)]() mutable {
    const auto self = weakSelf.lock();
    if (!self) return;
    const auto visit = self->trContext_->visitsQueue->currentVisit();
    const auto place = visit ? visit->geocodeResult() : nullptr;
    const auto venue = place ? place->venue : nullptr;
    if (!venue || !venue->venueId || venue->venueId->empty()) {
      if (handler) handler(std::nullopt, nullptr, error(kNoCurrentVenue));
      return;
    }
    self->trContext_->networkClient->getPeopleAtVenue(
        *venue->venueId, [handler = std::move(handler), visit](std::optional<Json> result,
                                                               std::optional<Error> failure) {
          if (!handler) return;
          if (failure) {
            handler(std::nullopt, nullptr, std::move(failure));
            return;
          }
          // The venue as it is now, of the visit that was current when asked.
          const auto& place = visit->geocodeResult();
          handler(TRPerson::personsWithJson(answerOf(result)), place ? place->venue : nullptr,
                  std::nullopt);
        });
  });
}

void Trevalo::getPeopleNearby(PeopleHandler handler) {
  const auto best = trContext_->analyzeLocations->getBestAvailableLocation();
  if (!best) {
    if (handler) handler(std::nullopt, error(kLocationNotDetermined));
    return;
  }
  trContext_->networkClient->getPeopleNearby(
      best->coordinate(), convertedAnswer(std::move(handler), [](const Json& answer) {
        return TRPerson::personsWithJson(answer);
      }));
}

void Trevalo::getPriorVisits(VisitsHandler handler) {
  trContext_->networkClient->getPriorVisitsDeviceId(
      deviceId().value_or(""), convertedAnswer(std::move(handler), [](const Json& answer) {
        return TRVisit::visitsWithJson(answer);
      }));
}

void Trevalo::getHome(AddressHandler handler) {
  trContext_->networkClient->getHomeWork(
      deviceId().value_or(""), convertedAnswer(std::move(handler), [](const Json& answer) {
        return TRAddress::homeAddressWithJson(answer);
      }));
}

void Trevalo::getWork(AddressHandler handler) {
  trContext_->networkClient->getHomeWork(
      deviceId().value_or(""), convertedAnswer(std::move(handler), [](const Json& answer) {
        return TRAddress::workAddressWithJson(answer);
      }));
}

}  // namespace trevalo
