// The location analyzer's per-sample work and the geofence manager's entry and exit pass.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "analyzer/TRGeofencesManager.h"
#include "analyzer/TRLocationAnalyzer.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace {

using namespace trevalo;

constexpr double kPi = 3.141592653589793;
constexpr Coordinate kOrigin{48.85, 2.35};

Coordinate metres(double east, double north) {
  return {kOrigin.latitude + north / 6378137.0 * 180.0 / kPi,
          kOrigin.longitude +
              east / (6378137.0 * std::cos(kOrigin.latitude * kPi / 180.0)) * 180.0 / kPi};
}

// A fresh simulated platform, with a documents directory of its own, for as long as it lives.
class InstalledPlatform {
 public:
  InstalledPlatform()
      : directory_(std::filesystem::temp_directory_path() /
                   ("trevalo-analyzer-bench-" + std::to_string(::getpid()))),
        platform_(platform::SimulatedPlatform::make({.documentsDirectory = directory_})),
        previous_(platform::Platform::install(platform_)) {
    std::filesystem::create_directories(directory_);
    platform_->virtualRunLoop().runUntilIdle();
  }
  ~InstalledPlatform() {
    platform::Platform::install(previous_);
    platform_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  InstalledPlatform(const InstalledPlatform&) = delete;
  InstalledPlatform& operator=(const InstalledPlatform&) = delete;

  platform::SimulatedPlatform& platform() const { return *platform_; }

 private:
  std::filesystem::path directory_;
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
};

class QuietDelegate final : public TRLocationAnalyzerDelegate, public TRGeofenceDelegate {
 public:
  void didDetectedModeChange() override { ++changes; }
  void onDeterminedFilteredTRLocation(const Location& location) override {
    benchmark::DoNotOptimize(location);
  }
  void onConfirmedDepartedVenueWithEndDate(Date) override {}
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>&) override {
    return nullptr;
  }
  void reverseGeocode(const std::shared_ptr<TRVellLocation>&) override {}
  void enteredRegion(const std::shared_ptr<TRGeofence>&) override { ++entries; }
  void exitedRegion(const std::shared_ptr<TRGeofence>&) override { ++exits; }

  int changes = 0;
  int entries = 0;
  int exits = 0;
};

std::shared_ptr<TRVellLocation> walkingSample(int step, Date start) {
  return std::make_shared<TRVellLocation>(Location(metres(1.4 * step, 0.0), 0.0, 5.0, -1.0, 90.0,
                                                   1.4, start.dateByAddingTimeInterval(step)));
}

// One sample a second on foot, with the history full and the analyzer in walking mode.
void BM_ProcessLocationWalking(benchmark::State& state) {
  const InstalledPlatform installed;
  auto& runLoop = installed.platform().virtualRunLoop();
  const Date start = installed.platform().clock().now();
  const auto delegate = std::make_shared<QuietDelegate>();
  const auto analyzer = TRLocationAnalyzer::make();
  analyzer->setDelegate(delegate);
  int step = 0;
  for (; step < 200; ++step) {
    runLoop.advanceTo(start.dateByAddingTimeInterval(step));
    analyzer->processLocation(walkingSample(step, start));
  }
  if (analyzer->currentMode() != TRModeWalking) state.SkipWithError("not walking");
  for (auto _ : state)
    analyzer->processLocation(walkingSample(step++, start));
  if (analyzer->currentMode() != TRModeWalking) state.SkipWithError("left walking");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProcessLocationWalking);

// A walking sample tested against 1,000 geofences on a 60 m grid; the user is inside a few.
void BM_GeofenceEntryExitPass(benchmark::State& state) {
  const InstalledPlatform installed;
  Json answer = Json::array();
  for (int row = 0; row < 32; ++row) {
    for (int column = 0; column < 32 && answer.size() < 1000; ++column) {
      const Coordinate center = metres(60.0 * (column - 16), 60.0 * (row - 16));
      answer.push_back(
          {{"name", "Venue"},
           {"address",
            {{"location", {{"latitude", center.latitude}, {"longitude", center.longitude}}}}}});
    }
  }
  const auto delegate = std::make_shared<QuietDelegate>();
  const auto manager = TRGeofencesManager::make();
  manager->setFetchGeofences(
      [&answer](Coordinate, const TRGeofencesManager::Filters&,
                TRGeofencesManager::FetchCompletion complete) { complete(answer, std::nullopt); });
  auto filter = std::make_shared<TRFilter>();
  filter->venueName = "Venue";
  filter->radius = 100.0;
  manager->updateFilters({filter}, delegate);
  manager->processNewLocation(metres(5.0, 5.0));
  if (!manager->geofences() || manager->geofences()->size() != 1000 || delegate->entries == 0) {
    state.SkipWithError("geofences not in place");
  }
  for (auto _ : state)
    manager->processNewLocation(metres(5.0, 5.0));
  state.counters["inside"] = static_cast<double>(manager->currentGeofences().size());
}
BENCHMARK(BM_GeofenceEntryExitPass);

}  // namespace
