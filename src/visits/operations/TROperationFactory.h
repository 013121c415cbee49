#pragma once

#include <memory>

#include "visits/operations/MetaOperationBase.h"
#include "visits/operations/TROperationBase.h"

namespace trevalo {

// Makes the executable operation that carries out a descriptor.
class TROperationFactory {
 public:
  // The name of the Exception raised for a descriptor of no known kind.
  static constexpr const char* kUnknownMetaoperationException = "Unknown metaoperation";

  TROperationFactory() = delete;

  // The operation of the descriptor's kind (departure, stay by the service, stay by the
  // geocoder), with `client` and `delegate`. Any other descriptor, or none, raises
  // kUnknownMetaoperationException.
  static std::shared_ptr<TROperationBase> operationFor(
      const std::shared_ptr<MetaOperationBase>& operation,
      std::shared_ptr<TRNetworkClient> withClient, std::weak_ptr<TROperationDelegate> delegate);
};

}  // namespace trevalo
