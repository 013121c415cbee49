#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/Placemark.h"

namespace trevalo {

class MetaOperationBase;
class MetaOperationGetAppleVenue;
class MetaOperationGetVenueByLocations;

// What the executable visit operations report to the one who queued them (the visit tracker).
// Every call arrives on the platform's run loop.
class TROperationDelegate {
 public:
  virtual ~TROperationDelegate() = default;

  // The service's answer for a stay (nothing for an empty answer), or the error.
  virtual void didGeocodeVenueByLocationsForResult(
      std::optional<Json> result,
      const std::shared_ptr<MetaOperationGetVenueByLocations>& operation,
      std::optional<Error> error) = 0;
  // The geocoder's placemarks for a stay, or the error.
  virtual void didGeocodeAppleVenueByLocationForResult(
      std::optional<std::vector<platform::Placemark>> result,
      const std::shared_ptr<MetaOperationGetAppleVenue>& operation, std::optional<Error> error) = 0;
  // How logging a visit ended: the error, or nothing on success (which clears the failures).
  virtual void didFinishDepartOperationWithError(std::optional<Error> error) = 0;
  // The operation carrying out `operation` succeeded: the descriptor can go.
  virtual void removeFromOperation(const std::shared_ptr<MetaOperationBase>& operation) = 0;
};

}  // namespace trevalo
