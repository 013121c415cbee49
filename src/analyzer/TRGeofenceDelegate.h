#pragma once

#include <memory>

#include "trevalo/model/TRGeofence.h"

namespace trevalo {

// Told when the user comes within a server geofence and when the user leaves it again. Called
// on the thread that processes locations, while the geofence manager holds its lock: the
// delegate may call back into the manager.
class TRGeofenceDelegate {
 public:
  virtual ~TRGeofenceDelegate() = default;

  virtual void enteredRegion(const std::shared_ptr<TRGeofence>& geofence) = 0;
  virtual void exitedRegion(const std::shared_ptr<TRGeofence>& geofence) = 0;
};

}  // namespace trevalo
