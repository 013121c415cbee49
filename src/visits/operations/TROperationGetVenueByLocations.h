#pragma once

#include <memory>
#include <string>

#include "visits/operations/MetaOperationGetVenueByLocations.h"
#include "visits/operations/TROperationBase.h"

namespace trevalo {

// Posts a stay's collected locations (with the descriptor's filters) to the service's
// reverse-geocode endpoint and reports the answer to the delegate.
class TROperationGetVenueByLocations final : public TROperationBase {
 public:
  TROperationGetVenueByLocations(std::shared_ptr<TRNetworkClient> networkClient,
                                 std::weak_ptr<TROperationDelegate> delegate,
                                 std::shared_ptr<MetaOperationGetVenueByLocations> operation);

  // "<TROperationGetVenue: <descriptor>>".
  std::string description() const override;

 protected:
  void execute() override;

 private:
  // Reports the outcome and completes; on the run loop.
  void finish(std::optional<Json> result, std::optional<Error> error);

  std::shared_ptr<MetaOperationGetVenueByLocations> descriptor_;
};

}  // namespace trevalo
