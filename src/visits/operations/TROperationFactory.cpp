#include "visits/operations/TROperationFactory.h"

#include "trevalo/platform/Exception.h"
#include "visits/operations/TROperationDepart.h"
#include "visits/operations/TROperationGetAppleVenue.h"
#include "visits/operations/TROperationGetVenueByLocations.h"

namespace trevalo {

std::shared_ptr<TROperationBase> TROperationFactory::operationFor(
    const std::shared_ptr<MetaOperationBase>& operation,
    std::shared_ptr<TRNetworkClient> withClient, std::weak_ptr<TROperationDelegate> delegate) {
  if (auto depart = std::dynamic_pointer_cast<MetaOperationDepart>(operation)) {
    return std::make_shared<TROperationDepart>(std::move(withClient), std::move(delegate),
                                               std::move(depart));
  }
  if (auto stay = std::dynamic_pointer_cast<MetaOperationGetVenueByLocations>(operation)) {
    return std::make_shared<TROperationGetVenueByLocations>(std::move(withClient),
                                                            std::move(delegate), std::move(stay));
  }
  if (auto location = std::dynamic_pointer_cast<MetaOperationGetAppleVenue>(operation)) {
    return std::make_shared<TROperationGetAppleVenue>(std::move(withClient), std::move(delegate),
                                                      std::move(location));
  }
  throw Exception(kUnknownMetaoperationException);
}

}  // namespace trevalo
