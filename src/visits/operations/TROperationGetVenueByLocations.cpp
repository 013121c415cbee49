#include "visits/operations/TROperationGetVenueByLocations.h"

#include "networking/TRNetworkClient.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

TROperationGetVenueByLocations::TROperationGetVenueByLocations(
    std::shared_ptr<TRNetworkClient> networkClient, std::weak_ptr<TROperationDelegate> delegate,
    std::shared_ptr<MetaOperationGetVenueByLocations> operation)
    : TROperationBase(std::move(networkClient), std::move(delegate), operation),
      descriptor_(std::move(operation)) {
  if (!this->networkClient()) {
    throw Exception(Exception::kInvalidArgument, "a venue resolution needs a network client");
  }
}

std::string TROperationGetVenueByLocations::description() const {
  return "<TROperationGetVenue: " + descriptor_->description() + ">";
}

void TROperationGetVenueByLocations::execute() {
  const auto self = sharedAs<TROperationGetVenueByLocations>();
  const auto locations = descriptor_->locations();
  try {
    networkClient()->sendLastLocations(
        locations, descriptor_->filters(),
        [weak = std::weak_ptr(self)](std::optional<Json> result, std::optional<Error> error) {
          if (const auto operation = weak.lock()) operation->finish(std::move(result), error);
        });
  } catch (const Exception& refused) {
    // Thrown on a queue thread, it would end the process: it is a failed attempt instead.
    postToRunLoop([self, error = errorForRefusedRequest(refused)] { self->finish({}, error); });
  }
}

void TROperationGetVenueByLocations::finish(std::optional<Json> result,
                                            std::optional<Error> error) {
  const bool success = !error;
  if (const auto tracker = delegate()) {
    if (error) {
      tracker->didGeocodeVenueByLocationsForResult(std::nullopt, descriptor_, std::move(error));
    } else {
      tracker->didGeocodeVenueByLocationsForResult(std::move(result), descriptor_, std::nullopt);
    }
  }
  completeOperation(success);
}

}  // namespace trevalo
