#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "service/RequestTarget.h"
#include "service/ServiceStore.h"
#include "service/VenueTable.h"
#include "trevalo/Json.h"
#include "trevalo/platform/Date.h"

namespace trevalo::service {

struct ServiceRequest {
  std::string method = "GET";
  std::string url;  // a full URL or a target ("/v1/...?...")
  std::string body;
};

struct ServiceResponse {
  int status = 200;
  Json body;
  // The body as sent: valid JSON and UTF-8 whatever the body holds.
  std::string bodyText() const;
};

// The reference service in-process: a request in, a response out, no sockets. It answers
// every endpoint the SDK calls (reverse geocode of a point or of collected points, venue
// search, people at a venue and nearby, prior visits, home and work, user data, visit logs,
// geofences, recording uploads and fetches, the event log) and the reverse-geocoding form
// "/reverse?format=jsonv2&lat=&lon=". Places come from a venue table; what the SDK sends is
// kept in a store.
//
// A request it cannot use gets 400 with {"error": why} and stores nothing; an unknown path
// 404, a known path with another method 405, a service endpoint without "api_token" 401. Any
// failure inside (the store, say) is a 500, never a crash.
class ReferenceService {
 public:
  // A stay matches a venue within this distance (m) of its centre of points.
  static constexpr double kMatchRadius = 150.0;
  static constexpr std::size_t kAlternatives = 4;
  // People nearby: devices whose latest visit lies within this distance (m).
  static constexpr double kNearbyRadius = 500.0;
  // Geofences: the venues (matching the filters) within this distance (m), at most so many.
  static constexpr double kGeofenceRadius = 2000.0;
  static constexpr std::size_t kGeofenceLimit = 20;

  ReferenceService(VenueTable venues, std::shared_ptr<ServiceStore> store,
                   std::function<Date()> clock);

  ServiceResponse handle(const ServiceRequest& request);

  const VenueTable& venues() const noexcept { return venues_; }
  ServiceStore& store() const noexcept { return *store_; }

 private:
  ServiceResponse route(const ServiceRequest& request, const RequestTarget& target);

  Json reverseGeocodePoint(const RequestTarget& target) const;
  Json reverseGeocodePoints(const Json& body) const;
  Json searchVenues(const RequestTarget& target) const;
  Json peopleAtVenue(const std::string& venueId) const;
  Json peopleNearby(const RequestTarget& target) const;
  Json priorVisits(const RequestTarget& target) const;
  Json homeWork(const RequestTarget& target) const;
  Json userData(const Json& body);
  Json logVisit(const Json& body);
  Json geofences(const Json& body) const;
  Json recording(const Json& body);
  Json recordedLocations(const std::string& session) const;
  Json eventLog(const std::string& deviceId, const std::string& file, const std::string& body);
  Json reverseJsonV2(const RequestTarget& target) const;

  Json placeJson(const VenueTable::Match& match,
                 const std::vector<VenueTable::Match>& alternatives) const;

  VenueTable venues_;
  std::shared_ptr<ServiceStore> store_;
  std::function<Date()> clock_;
};

// A request the service cannot use; its message is the answer's "error".
class BadRequest : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace trevalo::service
