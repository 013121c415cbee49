// The geofence manager's default way of asking the service for geofences.
#include "analyzer/TRGeofencesManager.h"
#include "networking/TRNetworkClient.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"

namespace trevalo {

// The shared service client's geofence request; its answers arrive on the run loop. A request
// the client refuses outright (no API token yet) fails like any other fetch instead of
// unwinding through the location processing that asked for it; the manager keeps its rate
// limit and tries again later.
TRGeofencesManager::FetchGeofences TRGeofencesManager::defaultFetchGeofences() {
  return [](Coordinate center, const Filters& filters, FetchCompletion complete) {
    try {
      TRNetworkClient::instance()->getGeofences(center, filters, complete);
    } catch (const Exception& refused) {
      if (!complete) return;
      platform::Platform::current().runLoop().post([complete = std::move(complete),
                                                    reason = std::string(refused.what())] {
        complete(std::nullopt, Error("TRError", -888, {{Error::kLocalizedDescriptionKey, reason}}));
      });
    }
  };
}

}  // namespace trevalo
