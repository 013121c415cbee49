// The visit tracker's file: writing it after every change and reading it at launch, with a
// full list of 11 stays of 100 enriched locations each. The argument is the number of
// accelerometer samples per location: 0 for bare fixes, 20 for a stay sampled at 20 Hz with a
// fix a second (each location also carries 3 headings then).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>  // the model headers need the complete JSON type
#include <string>
#include <vector>

#include "networking/TRNetworkClient.h"
#include "platform/KeyedArchiver.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "visits/VisitTracker.h"

namespace {

using namespace trevalo;

constexpr int kStays = 11;
constexpr int kLocationsPerStay = 100;
constexpr int kHeadingsWithSensors = 3;

std::shared_ptr<TRVellLocation> enrichedLocation(int stay, int index, int accelerometerSamples) {
  const double time = 1767225600.0 + stay * 3600.0 + index;
  auto location = std::make_shared<TRVellLocation>(
      Location(Coordinate{40.0 + stay * 0.01 + index * 1e-6, -73.0 - index * 1e-6}, 12.0, 8.0, 4.0,
               90.0, 1.2, Date(time)));
  for (int i = 0; i < accelerometerSamples; ++i) {
    location->accelArray.push_back({{0.01 * i, -0.98, 0.05}, time + i * 0.03});
  }
  for (int i = 0; accelerometerSamples > 0 && i < kHeadingsWithSensors; ++i) {
    location->headingArray.push_back(
        {180.0 + i, 182.0 + i, 15.0, 20.0, -5.0, 40.0, Date(time + i * 0.2)});
  }
  location->wifiName = "Office-5G";
  location->distance = 1.5;
  location->bearing = 45.0;
  location->indoorScore = 0.8;
  location->isIndoor = true;
  location->mode = TRModeVisit;
  return location;
}

// A platform in a fresh directory with a tracker whose list is full, for one benchmark.
class FullTracker {
 public:
  explicit FullTracker(int accelerometerSamples)
      : directory_(std::filesystem::temp_directory_path() / "trevalo-bench-visits"),
        previous_(platform::Platform::install(
            platform::SimulatedPlatform::make({.documentsDirectory = directory_}))) {
    tracker_ = VisitTracker::cachedQueue(std::make_shared<TRNetworkClient>());
    tracker_->createQueue();
    for (int stay = 0; stay < kStays; ++stay) {
      std::vector<std::shared_ptr<TRVellLocation>> locations;
      for (int i = 0; i < kLocationsPerStay; ++i)
        locations.push_back(enrichedLocation(stay, i, accelerometerSamples));
      // The operations are queued on the run loop, which nobody runs here: nothing is sent.
      tracker_->addOperation(std::make_shared<MetaOperationGetVenueByLocations>(
          tracker_, std::move(locations), Date(1767225600.0 + stay * 3600.0), std::nullopt));
    }
  }
  ~FullTracker() {
    tracker_.reset();
    platform::Platform::install(previous_);
    std::filesystem::remove_all(directory_);
  }
  FullTracker(const FullTracker&) = delete;
  FullTracker& operator=(const FullTracker&) = delete;

  VisitTracker& tracker() { return *tracker_; }
  std::shared_ptr<const VisitTracker> shared() const { return tracker_; }
  std::uintmax_t fileSize() const {
    return std::filesystem::file_size(VisitTracker::venueCachePath());
  }

 private:
  std::filesystem::path directory_;
  std::shared_ptr<platform::Platform> previous_;
  std::shared_ptr<VisitTracker> tracker_;
};

void BM_SaveTracker11StaysOf100Locations(benchmark::State& state) {
  FullTracker full(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (!full.tracker().saveTracker()) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.counters["file_bytes"] = static_cast<double>(full.fileSize());
}
BENCHMARK(BM_SaveTracker11StaysOf100Locations)->Arg(0)->Arg(20)->Unit(benchmark::kMillisecond);

// The encoding alone, without the file.
void BM_EncodeTracker11StaysOf100Locations(benchmark::State& state) {
  FullTracker full(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::KeyedArchiver::archivedDataWithRootObject(full.shared()));
  }
}
BENCHMARK(BM_EncodeTracker11StaysOf100Locations)->Arg(0)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_LoadTracker11StaysOf100Locations(benchmark::State& state) {
  FullTracker full(static_cast<int>(state.range(0)));
  const auto client = std::make_shared<TRNetworkClient>();
  for (auto _ : state) {
    const auto loaded = VisitTracker::cachedQueue(client);
    if (loaded->operationsQueue().size() != kStays) {
      state.SkipWithError("the list did not come back whole");
      break;
    }
    benchmark::DoNotOptimize(loaded);
  }
}
BENCHMARK(BM_LoadTracker11StaysOf100Locations)->Arg(0)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
