#pragma once

#include <vector>

#include "trevalo/platform/CircularRegion.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/Heading.h"
#include "trevalo/platform/Location.h"

namespace trevalo::platform {

class LocationManager;

// What a location manager reports, on the thread of its run loop. Every callback is optional.
class LocationManagerDelegate {
 public:
  virtual ~LocationManagerDelegate() = default;

  // A batch of fixes, oldest first.
  virtual void locationManagerDidUpdateLocations(LocationManager& manager,
                                                 const std::vector<Location>& locations) {
    (void)manager, (void)locations;
  }
  virtual void locationManagerDidFailWithError(LocationManager& manager, const Error& error) {
    (void)manager, (void)error;
  }
  virtual void locationManagerDidUpdateHeading(LocationManager& manager, const Heading& heading) {
    (void)manager, (void)heading;
  }
  virtual void locationManagerDidEnterRegion(LocationManager& manager,
                                             const CircularRegion& region) {
    (void)manager, (void)region;
  }
  virtual void locationManagerDidExitRegion(LocationManager& manager,
                                            const CircularRegion& region) {
    (void)manager, (void)region;
  }
};

}  // namespace trevalo::platform
