#include "trevalo/facade/TRContext.h"

#include "analyzer/TRLocationAnalyzer.h"
#include "networking/TRNetworkClient.h"
#include "strategies/StrategiesStateMachine.h"
#include "strategies/TRKeepAliveLoop.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"
#include "vell/ExtraLocationInfoCollector.h"
#include "visits/VisitTracker.h"

namespace trevalo {

TRContext::TRContext() : TRContext(TRNetworkClient::instance()) {}

TRContext::TRContext(std::shared_ptr<TRNetworkClient> client) {
  if (!client) throw Exception(Exception::kInvalidArgument, "the context needs a network client");
  const auto& platform = platform::Platform::current();
  // In this order: the visit tracker restores its work with the client made before it.
  locationManager = platform.makeLocationManager();
  analyzeLocations = TRLocationAnalyzer::make();
  networkClient = std::move(client);
  device = platform.services().device;
  extraInfoCollector = std::make_shared<ExtraLocationInfoCollector>();
  visitsQueue = VisitTracker::cachedQueue(networkClient);
  keepAliveLoop = TRKeepAliveLoop::make();
  strategiesStateMachine = StrategiesStateMachine::make();
}

TRContext::TRContext(std::shared_ptr<platform::LocationManager> locationManager,
                     std::shared_ptr<TRLocationAnalyzer> analyzeLocations,
                     std::shared_ptr<TRNetworkClient> networkClient,
                     std::shared_ptr<platform::Device> device,
                     std::shared_ptr<ExtraLocationInfoCollector> extraInfoCollector,
                     std::shared_ptr<VisitTracker> visitsQueue)
    : analyzeLocations(std::move(analyzeLocations)),
      networkClient(std::move(networkClient)),
      visitsQueue(std::move(visitsQueue)),
      locationManager(std::move(locationManager)),
      device(std::move(device)),
      extraInfoCollector(std::move(extraInfoCollector)) {}

TRContext::~TRContext() = default;

}  // namespace trevalo
