#pragma once

#include <memory>

namespace trevalo::platform {
class Device;
class LocationManager;
}  // namespace trevalo::platform

namespace trevalo {

class ExtraLocationInfoCollector;
class StrategiesStateMachine;
class TRKeepAliveLoop;
class TRLocationAnalyzer;
class TRNetworkClient;
class VisitTracker;

// The collaborators of one facade, made once and held for its life. An application makes the
// default context (or lets the facade make it) and never needs to look inside; tests and
// embedders may assemble one from parts.
class TRContext {
 public:
  // Every collaborator, made in this order on the installed platform: a new location manager,
  // a new analyzer (its geofence manager restored from the documents directory), the
  // process-wide network client, the current device, a new sensor collector, the visit tracker
  // restored from the documents directory, a new keep-alive loop and a new state machine
  // (current strategy unset).
  TRContext();
  // The same, with `networkClient` in place of the process-wide one (a replay talking to a
  // service of its own, say). A null client raises an invalid-argument Exception.
  explicit TRContext(std::shared_ptr<TRNetworkClient> networkClient);
  // The given collaborators, without a keep-alive loop or a state machine: a facade on such a
  // context applies no strategies until they are set.
  TRContext(std::shared_ptr<platform::LocationManager> locationManager,
            std::shared_ptr<TRLocationAnalyzer> analyzeLocations,
            std::shared_ptr<TRNetworkClient> networkClient,
            std::shared_ptr<platform::Device> device,
            std::shared_ptr<ExtraLocationInfoCollector> extraInfoCollector,
            std::shared_ptr<VisitTracker> visitsQueue);
  ~TRContext();
  TRContext(const TRContext&) = delete;
  TRContext& operator=(const TRContext&) = delete;

  std::shared_ptr<TRLocationAnalyzer> analyzeLocations;
  std::shared_ptr<TRNetworkClient> networkClient;
  std::shared_ptr<VisitTracker> visitsQueue;
  std::shared_ptr<platform::LocationManager> locationManager;
  std::shared_ptr<platform::Device> device;
  std::shared_ptr<ExtraLocationInfoCollector> extraInfoCollector;
  std::shared_ptr<TRKeepAliveLoop> keepAliveLoop;
  std::shared_ptr<StrategiesStateMachine> strategiesStateMachine;
};

}  // namespace trevalo
