#include "service/ReferenceService.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace trevalo::service {

namespace {

// A known endpoint asked with another method.
struct WrongMethod {
  const char* wanted;
};

ServiceResponse error(int status, const std::string& why) {
  return {status, Json::object({{"error", why}})};
}

Json jsonBody(const ServiceRequest& request) {
  const Json body = Json::parse(request.body, nullptr, /*allow_exceptions=*/false);
  if (body.is_discarded()) throw BadRequest("the body is not valid JSON");
  return body;
}

Json objectBody(const ServiceRequest& request) {
  Json body = jsonBody(request);
  if (!body.is_object()) throw BadRequest("the body must be a JSON object");
  return body;
}

}  // namespace

std::string ServiceResponse::bodyText() const {
  // An answer may quote what it was sent (an unknown venue id, say), and a percent-escape can
  // decode to bytes that are not UTF-8: they go out as U+FFFD rather than as a throw.
  return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

ReferenceService::ReferenceService(VenueTable venues, std::shared_ptr<ServiceStore> store,
                                   std::function<Date()> clock)
    : venues_(std::move(venues)), store_(std::move(store)), clock_(std::move(clock)) {}

ServiceResponse ReferenceService::handle(const ServiceRequest& request) {
  const auto target = RequestTarget::parse(request.url);
  if (!target) return error(400, "not a usable request target");
  try {
    return route(request, *target);
  } catch (const BadRequest& bad) {
    return error(400, bad.what());
  } catch (const std::exception& failure) {
    return error(500, std::string("internal error: ") + failure.what());
  }
}

ServiceResponse ReferenceService::route(const ServiceRequest& request,
                                        const RequestTarget& target) {
  const auto segments = target.segments();
  const std::string& method = request.method;
  const auto only = [&](const char* wanted) {
    if (method != wanted) throw WrongMethod{wanted};
  };
  const auto ok = [](Json body) { return ServiceResponse{200, std::move(body)}; };

  // The recording service, the event log and the reverse geocoder take no token.
  try {
    if (target.path() == "/wicked_smaht") {
      only("POST");
      return ok(recording(objectBody(request)));
    }
    if (segments.size() == 2 && segments[0] == "clam_chowdah" && !segments[1].empty()) {
      only("GET");
      return ok(recordedLocations(segments[1]));
    }
    if (target.path() == "/reverse") {
      only("GET");
      return ok(reverseJsonV2(target));
    }
    if (segments.size() == 2 && segments[0] != "v1" && segments[1].ends_with(".json") &&
        !segments[0].empty()) {
      only("PUT");
      return ok(eventLog(segments[0], segments[1], request.body));
    }
  } catch (const WrongMethod& wrong) {
    return error(405, std::string("use ") + wrong.wanted);
  }

  if (segments.empty() || segments[0] != "v1") return error(404, "no such endpoint");
  const auto token = target.query("api_token");
  if (!token || token->empty()) return error(401, "missing api_token");

  const std::string& path = target.path();
  try {
    if (path == "/v1/geocode/reverse_geocode") {
      if (method == "GET") return ok(reverseGeocodePoint(target));
      only("POST");
      return ok(reverseGeocodePoints(objectBody(request)));
    }
    if (path == "/v1/search/venues") {
      only("GET");
      return ok(searchVenues(target));
    }
    if (segments.size() == 4 && segments[1] == "venues" && segments[3] == "people") {
      only("GET");
      return ok(peopleAtVenue(segments[2]));
    }
    if (path == "/v1/search/people/nearby") {
      only("GET");
      return ok(peopleNearby(target));
    }
    if (path == "/v1/visit-data/visits") {
      only("GET");
      return ok(priorVisits(target));
    }
    if (path == "/v1/visit-data/homework") {
      only("GET");
      return ok(homeWork(target));
    }
    if (path == "/v1/logging/userdata") {
      only("POST");
      return ok(userData(objectBody(request)));
    }
    if (path == "/v1/logging/visit") {
      only("POST");
      return ok(logVisit(objectBody(request)));
    }
    if (path == "/v1/venues/geofences") {
      only("POST");
      return ok(geofences(objectBody(request)));
    }
  } catch (const WrongMethod& wrong) {
    return error(405, std::string("use ") + wrong.wanted);
  }
  return error(404, "no such endpoint");
}

}  // namespace trevalo::service
