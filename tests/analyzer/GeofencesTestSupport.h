#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AnalyzerTestSupport.h"
#include "analyzer/TRGeofencesManager.h"

// The geofence manager on the simulated platform, with a fetch the test answers itself.
namespace trevalo::testing {

inline std::shared_ptr<TRFilter> filter(std::optional<std::string> name,
                                        std::optional<std::string> category, double radius = 100.0,
                                        std::optional<std::string> addressId = std::nullopt) {
  auto made = std::make_shared<TRFilter>();
  made->venueName = std::move(name);
  made->venueCategory = std::move(category);
  made->radius = radius;
  made->addressId = std::move(addressId);
  return made;
}

// One element of the service's geofence answer: a venue with an id and a centre.
struct Fence {
  Coordinate at;
  std::string id;
};

inline Json answer(const std::vector<Fence>& fences) {
  Json list = Json::array();
  for (const Fence& fence : fences) {
    const Json location = {{"latitude", fence.at.latitude}, {"longitude", fence.at.longitude}};
    list.push_back(
        {{"id", fence.id}, {"name", "Venue " + fence.id}, {"address", {{"location", location}}}});
  }
  return list;
}

// The service's answer: one venue per center, "v0", "v1", ... in order.
inline Json answer(const std::vector<Coordinate>& centers) {
  std::vector<Fence> fences;
  for (const Coordinate& at : centers)
    fences.push_back({at, "v" + std::to_string(fences.size())});
  return answer(fences);
}

class GeofencesTest : public PlatformTest {
 protected:
  using Filters = TRGeofencesManager::Filters;

  void SetUp() override {
    PlatformTest::SetUp();
    runUntilIdle();
    manager = makeManager();
    manager->updateFilters({cafes}, recorder);
  }

  // A manager whose fetches are noted in `requests` (with the filters they asked for) and
  // answered at once with `nextAnswer` when the test has set one.
  std::shared_ptr<TRGeofencesManager> makeManager(
      std::shared_ptr<TRGeofencesManager> manager = TRGeofencesManager::make()) {
    manager->setFetchGeofences(
        [this](Coordinate, const Filters& filters, TRGeofencesManager::FetchCompletion complete) {
          requests.push_back(complete);
          requestedFilters.push_back(filters);
          if (nextAnswer) complete(std::exchange(nextAnswer, std::nullopt), std::nullopt);
        });
    return manager;
  }

  // A walking sample at `where` whose fetch, if one is made, is answered at once with
  // `fetched` (or geofences at `centers`), before the sample is tested against it.
  void walkFetching(Coordinate where, const Json& fetched) {
    nextAnswer = fetched;
    manager->processNewLocation(where);
    nextAnswer.reset();
  }
  void walkAt(Coordinate where, const std::vector<Coordinate>& centers) {
    walkFetching(where, answer(centers));
  }

  std::filesystem::path archiveFile() const {
    return documentsDirectory() / TRGeofencesManager::kArchiveFileName;
  }

  // Writes the venues it is told of down as "+v0 -v0 +v1" (entered, left), in order.
  class Journal final : public TRGeofenceDelegate {
   public:
    void enteredRegion(const std::shared_ptr<TRGeofence>& geofence) override { add('+', geofence); }
    void exitedRegion(const std::shared_ptr<TRGeofence>& geofence) override { add('-', geofence); }
    std::string story;
    std::vector<std::shared_ptr<TRGeofence>> geofences;

   private:
    void add(char sign, const std::shared_ptr<TRGeofence>& geofence) {
      story += (story.empty() ? "" : " ") + (sign + geofence->venue->venueId.value_or("?"));
      geofences.push_back(geofence);
    }
  };

  const Coordinate venue = metres(0, 0);
  std::shared_ptr<TRFilter> cafes = filter("Cafe", std::nullopt);
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>(Date());
  std::shared_ptr<Journal> journal = std::make_shared<Journal>();
  std::shared_ptr<TRGeofencesManager> manager;
  std::vector<TRGeofencesManager::FetchCompletion> requests;
  std::vector<Filters> requestedFilters;
  std::optional<Json> nextAnswer;
};

}  // namespace trevalo::testing
