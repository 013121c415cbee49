#include "trevalo/platform/Geocoder.h"

namespace trevalo::platform {

Error Geocoder::unavailableError() {
  return Error(
      kErrorDomain, kErrorUnavailable,
      {{Error::kLocalizedDescriptionKey, "Reverse geocoding is not available on this platform"}});
}

Error Geocoder::cancelledError() {
  return Error(kErrorDomain, kErrorCancelled,
               {{Error::kLocalizedDescriptionKey, "The geocoding request was cancelled"}});
}

}  // namespace trevalo::platform
