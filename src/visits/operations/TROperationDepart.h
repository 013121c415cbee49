#pragma once

#include <memory>
#include <string>

#include "visits/operations/MetaOperationDepart.h"
#include "visits/operations/TROperationBase.h"

namespace trevalo {

// Posts the descriptor's visit dictionary to the service's visit-logging endpoint. Only a
// failure is reported to the delegate; the answer's body is not read.
class TROperationDepart final : public TROperationBase {
 public:
  TROperationDepart(std::shared_ptr<TRNetworkClient> networkClient,
                    std::weak_ptr<TROperationDelegate> delegate,
                    std::shared_ptr<MetaOperationDepart> operation);

  // "<TROperationDepart: <descriptor>>".
  std::string description() const override;

 protected:
  void execute() override;

 private:
  // Reports the outcome and completes; on the run loop.
  void finish(std::optional<Json> result, std::optional<Error> error);

  std::shared_ptr<MetaOperationDepart> descriptor_;
};

}  // namespace trevalo
