#pragma once

#include <memory>
#include <string>

#include "visits/operations/MetaOperationGetAppleVenue.h"
#include "visits/operations/TROperationBase.h"

namespace trevalo {

// Asks a new platform geocoder for the placemarks at the descriptor's location and reports
// them to the delegate. The operation keeps itself alive until the geocoder answers.
class TROperationGetAppleVenue final : public TROperationBase {
 public:
  TROperationGetAppleVenue(std::shared_ptr<TRNetworkClient> networkClient,
                           std::weak_ptr<TROperationDelegate> delegate,
                           std::shared_ptr<MetaOperationGetAppleVenue> operation);

  // "<TROperationGetAppleVenue: <descriptor>>".
  std::string description() const override;

 protected:
  void execute() override;

 private:
  std::shared_ptr<MetaOperationGetAppleVenue> descriptor_;
};

}  // namespace trevalo
