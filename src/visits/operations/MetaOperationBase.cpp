#include "trevalo/visits/operations/MetaOperationBase.h"

#include "trevalo/platform/ArchiveRegistry.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/visits/operations/MetaOperationDepart.h"
#include "trevalo/visits/operations/MetaOperationGetAppleVenue.h"
#include "trevalo/visits/operations/MetaOperationGetVenueByLocations.h"

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
