#pragma once

#include <memory>

#include "service/ReferenceService.h"
#include "trevalo/platform/simulated/SimulatedHttpTransport.h"

namespace trevalo::service {

// Lets the reference service answer the SDK's requests in a replay: a responder for the
// simulated HTTP transport that hands every request to the service, whatever its host, and
// sends back the service's answer as JSON.
class ServiceResponder {
 public:
  static platform::SimulatedHttpTransport::Responder make(
      std::shared_ptr<ReferenceService> service);
  static ServiceRequest requestFrom(const platform::HttpRequest& request);
  static platform::HttpResponse responseFrom(const ServiceResponse& response);
};

}  // namespace trevalo::service
