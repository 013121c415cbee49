#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/HttpRequest.h"
#include "trevalo/platform/Location.h"

namespace trevalo {

class TRCachedVisit;
class TRFilter;
class TRSearchRequest;
class TRVellLocation;

// The client of the SDK's servers. It holds the application's API token and the base URLs of
// the four servers, and runs each request through the installed platform's HTTP transport and
// the response checker to a completion on the platform's run loop (the SDK's main thread).
// Endpoints build a request (SessionRequestBuilder) from `hosts()` and `apiKey()` and hand it
// to `executeTaskWithRequest`. Safe to use from any thread.
class TRNetworkClient {
 public:
  using Completion = std::function<void(std::optional<Json>, std::optional<Error>)>;
  using LocationsCompletion = std::function<void(std::vector<Location>, std::optional<Error>)>;

  // Base URLs without a trailing slash: endpoint paths, which start with one, are appended.
  struct Hosts {
    std::string serviceApi = "https://api.trevalo.io";
    std::string peopleSearch = "https://people.trevalo.io";
    std::string recordingService = "https://recording.trevalo.io";
    // The JSON store of debug messages: the one server reachable without a token.
    std::string eventLogStore = "https://events.trevalo.io";

    bool operator==(const Hosts&) const = default;
  };

  // The name of the Exception raised for a request sent before the token is set.
  static constexpr const char* kMissingApiKeyException =
      "You must start location updates first. Please call - (void)startWithApiKey:(NSString "
      "*)apiKey delegate:(NSObject <TrevaloDelegate> *)delegate first";

  // The error of an endpoint call refused before anything is sent because of what the caller
  // passed: an identifier that cannot stand in a URL, a coordinate that is not a finite number,
  // a body that cannot be written as JSON. Domain "Trevalo"; the localized description says
  // what was wrong.
  static constexpr const char* kErrorDomain = "Trevalo";
  static constexpr std::int64_t kInvalidRequestErrorCode = -9990;
  static Error invalidRequestError(const std::string& description);

  // The process-wide client, made on first use.
  static std::shared_ptr<TRNetworkClient> instance();

  TRNetworkClient();
  // Every base URL must be an http or https URL with a host; otherwise an invalid-argument
  // Exception.
  explicit TRNetworkClient(Hosts hosts);
  TRNetworkClient(const TRNetworkClient&) = delete;
  TRNetworkClient& operator=(const TRNetworkClient&) = delete;

  // Empty until set.
  std::string apiKey() const;
  void setApiKey(std::string apiKey);

  Hosts hosts() const;
  // Validated as in the constructor; the old hosts stay when the new ones are refused.
  void setHosts(Hosts hosts);

  // Sends `request` and calls `completion` exactly once, on the run loop, with the parsed JSON
  // value or nothing and an error or nothing (the response checker's rules). Without a token,
  // a request to any server but the event-log store raises the kMissingApiKeyException
  // Exception (as its name) before anything is sent. The application's network-activity
  // indicator is on from the send until a completion.
  void executeTaskWithRequest(platform::HttpRequest request, Completion completion) const;

  // The service endpoints. Each builds its request, sends it with executeTaskWithRequest and
  // passes the answer to `complete` unchanged, on the run loop, exactly once. A call refused
  // for its arguments completes with invalidRequestError, also on the run loop and never
  // before the call has returned; only the missing token raises (see executeTaskWithRequest).
  //
  // Numbers in URLs are written in their shortest decimal form that reads back exactly
  // ("51.5", "1e-07"); a latitude, longitude or radius that is NaN or infinite is refused.
  // Identifiers inserted into URLs must be plain: letters, digits and "-._~", not empty and
  // not "." or "..". The token is inserted as it is.

  // GET /v1/geocode/reverse_geocode?lat=&lng=&api_token= on the service API.
  void reverseGeocodeLocation(const Location& location, Completion complete) const;

  // POST /v1/geocode/reverse_geocode: {"points": [each location's dictionaryRepresentation],
  // "device_id", "bundle_id", "filter"}. The device and bundle identifiers are left out when
  // the platform has none. Of a non-empty filter list only the filters without a radius (below
  // 0.001) are sent, converted by TRFilter::toArray; "filter" is then present even when none
  // of them is kept. An absent or empty list sends no "filter". Null entries are skipped.
  void sendLastLocations(const std::vector<std::shared_ptr<TRVellLocation>>& locations,
                         const std::optional<std::vector<std::shared_ptr<TRFilter>>>& filters,
                         Completion complete) const;

  // GET /v1/search/venues?api_token=&lat=&lng=&radius=&limit= followed by "&q=<query>" and
  // "&category=<category>" for those that are not empty, each percent-encoded as a URL query
  // (UTF-8; "&" and "=" inside the texts stay as they are). A request without a location is
  // refused.
  void searchForVenues(const TRSearchRequest& request, Completion complete) const;

  // GET /v1/venues/<venueId>/people?api_token= on the people search host.
  void getPeopleAtVenue(const std::string& venueId, Completion complete) const;
  // GET /v1/search/people/nearby?api_token=&lat=&lng= on the service API.
  void getPeopleNearby(Coordinate coordinate, Completion complete) const;
  // GET /v1/visit-data/visits?device_id=&api_token= on the service API.
  void getPriorVisitsDeviceId(const std::string& deviceId, Completion complete) const;
  // GET /v1/visit-data/homework?device_id=&api_token= on the service API.
  void getHomeWork(const std::string& deviceId, Completion complete) const;

  // POST /v1/logging/userdata with `userValues` as it is.
  void updateUserValues(const Json& userValues, Completion complete) const;
  // POST /v1/logging/visit with `visit` (a cached visit's dictionaryRepresentation) as it is.
  void logVenue(const Json& visit, Completion complete) const;

  // POST /v1/venues/geofences: {"lat", "lng", "filter": every filter converted by
  // TRFilter::toArray (an empty array for none), "device_id" (left out when there is none)}.
  void getGeofences(Coordinate coordinate, const std::vector<std::shared_ptr<TRFilter>>& filters,
                    Completion complete) const;

  // POST /wicked_smaht on the recording service: {"session": sessionId, "locations": [each
  // location's dictionaryRepresentationForTracemoor]}. Null entries are skipped; an empty
  // session identifier is refused.
  void sendLocations(const std::vector<std::shared_ptr<TRVellLocation>>& locations,
                     const std::string& sessionId, Completion complete) const;
  // POST /wicked_smaht on the recording service: {"session": session, "visits": [{"visit":
  // the visit's dictionaryRepresentation}]}. No visit or an empty session is refused.
  void sendVisitToTracemoor(const std::shared_ptr<const TRCachedVisit>& visit,
                            const std::string& session, Completion complete) const;

  // GET /clam_chowdah/<sessionId> on the recording service. The answer's "locations" entries
  // whose "timestamp" (seconds since 1970, a number) lies strictly between `start` and `end`
  // become locations, in order. A failed request or an answer without such a list gives an
  // empty list and no error; only a refused call (a session identifier that is not plain)
  // gives an error, with the empty list.
  void fetchLocationsFromTracemoor(const std::string& sessionId, Date start, Date end,
                                   LocationsCompletion completion) const;

  // PUT /<devId>/<time>.json on the event-log store, which needs no token; every ":" of the
  // time text becomes "_", and the path is percent-encoded as a URL query (so spaces and
  // non-ASCII characters are encoded). The body is `message` as a JSON string. A device
  // identifier or time text that is empty, "." or "..", or holds "/" or "?" (which would
  // lead elsewhere even encoded), is refused, as is a message that is not UTF-8.
  void sendFireBase(const std::string& message, const std::string& time, const std::string& devId,
                    Completion complete) const;

 private:
  static Hosts validated(Hosts hosts);
  void sendGet(const std::string& url, Completion complete) const;
  void sendJson(const std::string& url, const std::string& method, const Json& body,
                Completion complete) const;
  bool isEventLogStoreRequest(const std::string& url) const;

  mutable std::mutex mutex_;
  std::string apiKey_;
  Hosts hosts_;
};

}  // namespace trevalo
