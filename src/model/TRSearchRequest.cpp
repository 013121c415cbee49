#include "trevalo/model/TRSearchRequest.h"

#include <cmath>

namespace trevalo {

std::shared_ptr<TRSearchRequest> TRSearchRequest::initWithLocation(Location location) {
  auto request = std::make_shared<TRSearchRequest>();
  request->location = location;
  return request;
}

bool TRSearchRequest::hasValidLocation() const {
  // (0, 0) is where a location that was never determined ends up, not a place anyone searches.
  const Coordinate coordinate = location ? location->coordinate() : Coordinate{0.0, 0.0};
  return std::fabs(coordinate.latitude) > 0.01 || std::fabs(coordinate.longitude) > 0.01;
}

}  // namespace trevalo
