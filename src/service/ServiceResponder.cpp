#include "service/ServiceResponder.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace trevalo::service {

ServiceRequest ServiceResponder::requestFrom(const platform::HttpRequest& request) {
  ServiceRequest converted;
  converted.method = request.httpMethod;
  converted.url = request.url;
  if (request.body) converted.body.assign(request.body->begin(), request.body->end());
  return converted;
}

platform::HttpResponse ServiceResponder::responseFrom(const ServiceResponse& response) {
  platform::HttpResponse converted;
  converted.statusCode = response.status;
  converted.headers.setValue("application/json", "Content-Type");
  const std::string text = response.bodyText();
  converted.body.assign(text.begin(), text.end());
  return converted;
}

platform::SimulatedHttpTransport::Responder ServiceResponder::make(
    std::shared_ptr<ReferenceService> service) {
  return [service = std::move(service)](const platform::HttpRequest& request)
             -> std::optional<platform::SimulatedHttpTransport::Answer> {
    return responseFrom(service->handle(requestFrom(request)));
  };
}

}  // namespace trevalo::service
