#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Geocoder.h"
#include "trevalo/platform/HttpTransport.h"
#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

// A reverse geocoder that asks a web service in the widespread reverse-geocoding format:
// GET <base>/reverse?format=jsonv2&lat=<latitude>&lon=<longitude>, answered with one JSON
// object describing the nearest place, or {"error": "..."} when there is none.
//
// The answer becomes one placemark (none for an error answer): the place's name (or, without
// one, its house number and road), the coordinate the service gives (or the one asked about),
// and from the address the country, the locality (city, town, village, hamlet or
// municipality, the first there is), the upper-cased country code, the road and house number
// and the postcode. A status other than 2xx or a transport failure answers kErrorNetwork; a
// body that is not such an object answers kErrorInvalidAnswer. A location with an invalid
// coordinate is answered with no placemarks and no request.
//
// Requests go out on the given transport; every request is answered exactly once, on the run
// loop, also when the geocoder is dropped before the service answers.
class HttpGeocoder final : public Geocoder {
 public:
  // A null run loop or transport, or an empty base URL, raise an invalid-argument Exception.
  HttpGeocoder(std::shared_ptr<RunLoop> runLoop, std::shared_ptr<HttpTransport> transport,
               std::string baseUrl);

  void reverseGeocodeLocation(const Location& location,
                              CompletionHandler completionHandler) override;

  static std::string requestUrl(const std::string& baseUrl, const Location& location);
  // The placemarks of one answer; nothing when it is no answer of this format.
  static std::optional<std::vector<Placemark>> placemarksFromAnswer(const Json& answer,
                                                                    const Location& asked);

  static constexpr double kRequestTimeoutSeconds = 20.0;

 private:
  const std::shared_ptr<RunLoop> runLoop_;
  const std::shared_ptr<HttpTransport> transport_;
  const std::string baseUrl_;
};

}  // namespace trevalo::platform
