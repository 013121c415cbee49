#include "visits/operations/TROperationGetAppleVenue.h"

#include "trevalo/platform/Platform.h"

namespace trevalo {

TROperationGetAppleVenue::TROperationGetAppleVenue(
    std::shared_ptr<TRNetworkClient> networkClient, std::weak_ptr<TROperationDelegate> delegate,
    std::shared_ptr<MetaOperationGetAppleVenue> operation)
    : TROperationBase(std::move(networkClient), std::move(delegate), operation),
      descriptor_(std::move(operation)) {}

std::string TROperationGetAppleVenue::description() const {
  return "<TROperationGetAppleVenue: " + descriptor_->description() + ">";
}

void TROperationGetAppleVenue::execute() {
  // The handler holds the operation until the answer.
  platform::Platform::current().makeGeocoder()->reverseGeocodeLocation(
      descriptor_->location(),
      [self = sharedAs<TROperationGetAppleVenue>()](
          std::optional<std::vector<platform::Placemark>> placemarks, std::optional<Error> error) {
        const bool success = !error;
        if (const auto delegate = self->delegate()) {
          if (error) {
            delegate->didGeocodeAppleVenueByLocationForResult(std::nullopt, self->descriptor_,
                                                              std::move(error));
          } else {
            delegate->didGeocodeAppleVenueByLocationForResult(std::move(placemarks),
                                                              self->descriptor_, std::nullopt);
          }
        }
        self->completeOperation(success);
      });
}

}  // namespace trevalo
