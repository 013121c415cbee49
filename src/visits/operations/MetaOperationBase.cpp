#include "visits/operations/MetaOperationBase.h"

#include "platform/ArchiveRegistry.h"
#include "trevalo/platform/Exception.h"
#include "visits/operations/MetaOperationDepart.h"
#include "visits/operations/MetaOperationGetAppleVenue.h"
#include "visits/operations/MetaOperationGetVenueByLocations.h"

namespace trevalo {

void MetaOperationBase::registerArchivableSubclasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  registry.registerClass<MetaOperationGetVenueByLocations>();
  registry.registerClass<MetaOperationGetAppleVenue>();
  registry.registerClass<MetaOperationDepart>();
}

void MetaOperationBase::executeWithHandler(const Handler&, const Json&) const {
  throw Exception(kAbstractMethodException);
}

}  // namespace trevalo
