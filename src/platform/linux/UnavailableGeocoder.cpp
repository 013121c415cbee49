#include "platform/linux/UnavailableGeocoder.h"

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

UnavailableGeocoder::UnavailableGeocoder(std::shared_ptr<RunLoop> runLoop)
    : runLoop_(std::move(runLoop)) {
  if (!runLoop_) throw Exception(Exception::kInvalidArgument, "the run loop is missing");
}

void UnavailableGeocoder::reverseGeocodeLocation(const Location&,
                                                 CompletionHandler completionHandler) {
  if (!completionHandler) {
    throw Exception(Exception::kInvalidArgument, "the geocoder needs a completion handler");
  }
  runLoop_->post(
      [handler = std::move(completionHandler)] { handler(std::nullopt, unavailableError()); });
}

}  // namespace trevalo::platform
