#pragma once

#include <memory>

#include "trevalo/platform/Geocoder.h"
#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

// The geocoder of a platform without a geocoding service: every request is answered, on the
// run loop, with Geocoder::unavailableError(), so callers fail fast instead of waiting.
class UnavailableGeocoder final : public Geocoder {
 public:
  explicit UnavailableGeocoder(std::shared_ptr<RunLoop> runLoop);

  void reverseGeocodeLocation(const Location& location,
                              CompletionHandler completionHandler) override;

 private:
  std::shared_ptr<RunLoop> runLoop_;
};

}  // namespace trevalo::platform
