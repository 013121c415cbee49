#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "trevalo/platform/Error.h"
#include "trevalo/platform/Location.h"
#include "trevalo/platform/Placemark.h"

namespace trevalo::platform {

// The platform's reverse geocoder: what is known about the place at a location. Each request
// is answered exactly once, on the platform's run loop, with the placemarks found (possibly
// none) and no error, or with an error and no placemarks, also when the caller has dropped the
// geocoder meanwhile. Requests may be made from any thread.
class Geocoder {
 public:
  using CompletionHandler =
      std::function<void(std::optional<std::vector<Placemark>>, std::optional<Error>)>;

  static constexpr const char* kErrorDomain = "TrevaloGeocoder";
  // The platform has no geocoding service.
  static constexpr std::int64_t kErrorUnavailable = 1;
  // The request was dropped before it was answered (the geocoder shut down).
  static constexpr std::int64_t kErrorCancelled = 2;
  // The service could not be reached or failed.
  static constexpr std::int64_t kErrorNetwork = 3;
  // The service answered something that is not a geocoding answer.
  static constexpr std::int64_t kErrorInvalidAnswer = 4;

  static Error unavailableError();
  static Error cancelledError();

  Geocoder() = default;
  virtual ~Geocoder() = default;
  Geocoder(const Geocoder&) = delete;
  Geocoder& operator=(const Geocoder&) = delete;

  // An empty handler raises an invalid-argument Exception.
  virtual void reverseGeocodeLocation(const Location& location,
                                      CompletionHandler completionHandler) = 0;
};

}  // namespace trevalo::platform
