#include "CrashDay.h"

#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "CrashJournal.h"
#include "CrashService.h"
#include "analyzer/TRGeofencesManager.h"
#include "networking/TRNetworkClient.h"
#include "trevalo/model/TRUserValues.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "trevalo/utils/TROptions.h"
#include "utils/TRUtils.h"
#include "visits/VisitTracker.h"

namespace trevalo::crash {

namespace {

// Tells the journal about ended visits; the tracker has saved their logs by then.
class EndedVisits final : public VisitTrackerDelegate {
 public:
  explicit EndedVisits(const CrashJournal& events) : events_(events) {}

  void optionalDidStartVisit(const std::shared_ptr<TRCachedVisit>&) override {}
  void optionalDidEndVisit(const std::shared_ptr<TRCachedVisit>& visit) override {
    events_.append("ended " + CrashService::visitKey(visit->dictionaryRepresentation()));
  }
  void operationFinished(const std::shared_ptr<MetaOperationBase>&) override {}

 private:
  const CrashJournal& events_;
};

class NoGeofenceEvents final : public TRGeofenceDelegate {
 public:
  void enteredRegion(const std::shared_ptr<TRGeofence>&) override {}
  void exitedRegion(const std::shared_ptr<TRGeofence>&) override {}
};

// Three samples of a stay, ten seconds apart, the last at `at`.
std::vector<std::shared_ptr<TRVellLocation>> stayAt(Coordinate at, Date end) {
  std::vector<std::shared_ptr<TRVellLocation>> samples;
  for (int i = 2; i >= 0; --i) {
    samples.push_back(std::make_shared<TRVellLocation>(
        Location(Coordinate{at.latitude + i * 1e-6, at.longitude}, 10.0, 5.0, 3.0, -1.0, 0.0,
                 Date(end.timeIntervalSince1970() - i * 10.0))));
  }
  return samples;
}

}  // namespace

Coordinate CrashDay::stayCoordinate(int step) {
  const int place = (step / 6) % 4;
  return {40.0 + place * 0.01 + step * 1e-5, -73.95};
}

bool CrashDay::run(const std::filesystem::path& documents, const std::filesystem::path& state,
                   std::ostream& ready) {
  const CrashJournal events(state / kEventsJournal);
  auto platform = platform::SimulatedPlatform::make(
      {.documentsDirectory = documents, .start = Date(kDayStart)});
  const auto previous = platform::Platform::install(platform);
  auto& runLoop = platform->virtualRunLoop();
  CrashService service(state / kServiceJournal, Date(kDayStart));
  platform->simulatedHttpTransport().setResponder(
      [&service](const platform::HttpRequest& request) { return service.answer(request); });

  auto& defaults = platform->userDefaults();
  int step = static_cast<int>(defaults.objectForKey(kStepKey).value_or(Json(0)).get<double>());
  runLoop.advanceBy(step * kStepSeconds);

  const auto client = std::make_shared<TRNetworkClient>();
  client->setApiKey("token");
  const auto tracker = VisitTracker::cachedQueue(client);
  tracker->createQueue();
  const auto endedVisits = std::make_shared<EndedVisits>(events);
  tracker->setDelegate(endedVisits);

  const auto manager = TRGeofencesManager::restoreManager();
  manager->setFetchGeofences([client](Coordinate center, const TRGeofencesManager::Filters& filters,
                                      TRGeofencesManager::FetchCompletion complete) {
    client->getGeofences(center, filters, std::move(complete));
  });
  auto filter = std::make_shared<TRFilter>();
  filter->venueCategory = "food";
  filter->radius = 100.0;
  const auto geofenceDelegate = std::make_shared<NoGeofenceEvents>();
  manager->updateFilters({filter}, geofenceDelegate);

  ready << "ready" << std::endl;
  tracker->addArchivedOperations();
  runLoop.runUntilIdle();

  for (; step < kSteps; ++step) {
    const double due =
        kDayStart + step * kStepSeconds - platform->clock().now().timeIntervalSince1970();
    if (due > 0) runLoop.advanceBy(due);
    tracker->resendAllPendingOperations();
    runLoop.runUntilIdle();
    const Coordinate stay = stayCoordinate(step);
    switch (step % 6) {
      case 0:
      case 2: {
        auto samples = stayAt(stay, platform->clock().now());
        const Location last = samples.back()->location;
        tracker->determineLocationAtLocations(std::move(samples), last, std::nullopt);
        events.append("accepted " + CrashService::stayKey(stay.latitude));
        break;
      }
      case 1: {
        manager->processNewLocation(stay);
        const auto values =
            TRUserValues::initWithDictionary({{"name", "Ann"}, {"age", step}}, true);
        if (TRUserValues::saveSentUser(values)) events.append("values " + std::to_string(step));
        break;
      }
      case 3:
        TRUtils::saveGeofenceState(step % 12 == 3);
        TRUtils::saveOptions(TROptions{{"step", step}});
        TRUtils::saveWasRunning(true);
        break;
      case 4:
        tracker->endVisit(platform->clock().now());
        break;
      default:
        manager->processNewLocation({-33.87, 151.21 + step * 0.01});
        manager->processExit({-33.87, 151.21 + step * 0.01});
        break;
    }
    runLoop.runUntilIdle();
    defaults.setObject(Json(step + 1), kStepKey);
    events.append("step " + std::to_string(step + 1));
  }

  // The day is over and the service healthy: everything still pending goes out.
  for (int round = 0; round < 16 && !tracker->operationsQueue().empty(); ++round) {
    runLoop.advanceBy(4000.0);
    tracker->resendAllPendingOperations();
    runLoop.runUntilIdle();
  }
  const bool drained = tracker->operationsQueue().empty();
  if (drained) events.append("complete");
  platform::Platform::install(previous);
  return drained;
}

}  // namespace trevalo::crash
