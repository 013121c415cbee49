#pragma once

#include <cstddef>
#include <memory>

#include "analyzer/TRGeofenceDelegate.h"

namespace trevalo::fuzzing {

// Counts the entries and exits a geofence manager reports.
class RecordingGeofenceDelegate final : public TRGeofenceDelegate {
 public:
  void enteredRegion(const std::shared_ptr<TRGeofence>& geofence) override {
    if (geofence) ++entered;
  }
  void exitedRegion(const std::shared_ptr<TRGeofence>& geofence) override {
    if (geofence) ++exited;
  }

  std::size_t entered = 0;
  std::size_t exited = 0;
};

}  // namespace trevalo::fuzzing
