// The geofence manager's default way of asking the service for geofences.
#include "trevalo/analyzer/TRGeofencesManager.h"
#include "trevalo/platform/Platform.h"

namespace trevalo {

// The service client's geofence request is plugged in here. Until it is, a fetch completes
// with an error, on the run loop like any answer of the client, so the manager stays as it is
// and keeps to its rate limit instead of believing it has an answer.
TRGeofencesManager::FetchGeofences TRGeofencesManager::defaultFetchGeofences() {
  return [](Coordinate, const Filters&, FetchCompletion complete) {
    if (!complete) return;
    platform::Platform::current().runLoop().post([complete = std::move(complete)] {
      complete(std::nullopt, Error("TRError", -888,
                                   {{Error::kLocalizedDescriptionKey,
                                     "No geofence service is connected to the geofence manager"}}));
    });
  };
}

}  // namespace trevalo
