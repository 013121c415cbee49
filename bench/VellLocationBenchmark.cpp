// The enriched location's per-fix work and its keyed archive.
#include <benchmark/benchmark.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "utils/TRUtils.h"
#include "vell/TRVellLocation.h"

namespace {

using namespace trevalo;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

std::shared_ptr<TRVellLocation> sampleAt(int index, int accelerations, int headings) {
  auto sample =
      std::make_shared<TRVellLocation>(Location({48.85 + index * 3e-5, 2.35 + (index % 7) * 2e-5},
                                                35, 6, 3, 90, 1.4, Date(1767225600.0 + index)));
  for (int i = 0; i < accelerations; ++i) {
    sample->accelArray.push_back(
        {{0.01 * i, -0.98 + 0.0001 * index, 0.05 - 0.002 * i}, 35000.0 + index + 0.05 * i});
  }
  for (int i = 0; i < headings; ++i) {
    sample->headingArray.push_back({.magneticHeading = 80.0 + i,
                                    .trueHeading = 83.25 + i,
                                    .headingAccuracy = 15,
                                    .x = -12.5,
                                    .y = 30.25,
                                    .z = -40.0 - i,
                                    .timestamp = Date(1767225599.125 + index + 0.2 * i)});
  }
  sample->wifiName = "Office";
  return sample;
}

// The analyzer's call on every fix, against a full 200-sample history.
void BM_CalculateBearingAndDistance200(benchmark::State& state) {
  std::deque<std::shared_ptr<TRVellLocation>> history;
  for (int i = 0; i < 200; ++i) {
    TRUtils::addRollingData(sampleAt(i, 0, 0), history, 200);
    history.back()->calculateBearingAndDistance(history);
  }
  const auto& newest = history.back();
  for (auto _ : state) {
    newest->calculateBearingAndDistance(history);
    benchmark::DoNotOptimize(newest->bearing);
  }
}
BENCHMARK(BM_CalculateBearingAndDistance200);

// The same call plus the rolling mean over the last ten, as the analyzer makes them together.
void BM_RollingAccelerationAndBearing200(benchmark::State& state) {
  std::deque<std::shared_ptr<TRVellLocation>> history;
  for (int i = 0; i < 200; ++i) {
    auto sample = sampleAt(i, 0, 0);
    sample->avarageAcceleration = TRVector(0.01 * i, -0.98, 0.05);
    TRUtils::addRollingData(sample, history, 200);
  }
  const auto& newest = history.back();
  for (auto _ : state) {
    newest->calculateRollingAverageAcceleration(history, 10);
    newest->calculateBearingAndDistance(history);
    benchmark::DoNotOptimize(newest->rollingAvarageAcceleration);
  }
}
BENCHMARK(BM_RollingAccelerationAndBearing200);

std::vector<std::shared_ptr<TRVellLocation>> hundredSamples() {
  std::vector<std::shared_ptr<TRVellLocation>> samples;
  for (int i = 0; i < 100; ++i)
    samples.push_back(sampleAt(i, 20, 5));
  return samples;
}

platform::Bytes archive(const std::vector<std::shared_ptr<TRVellLocation>>& samples) {
  KeyedArchiver archiver;
  archiver.encodeObjects(samples, "self.locations");
  return archiver.encodedData();
}

std::size_t unarchiveCount(const platform::Bytes& data) {
  KeyedUnarchiver reader(data);
  return reader.decodeArrayOfObjectsOfClass<TRVellLocation>("self.locations")->size();
}

// What a visit operation holding 100 points costs to persist and restore.
void BM_ArchiveWriteAndRead100Locations(benchmark::State& state) {
  const auto samples = hundredSamples();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto data = archive(samples);
    benchmark::DoNotOptimize(unarchiveCount(data));
    bytes = data.size();
  }
  state.counters["archive_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ArchiveWriteAndRead100Locations)->Unit(benchmark::kMillisecond);

void BM_ArchiveWrite100Locations(benchmark::State& state) {
  const auto samples = hundredSamples();
  for (auto _ : state)
    benchmark::DoNotOptimize(archive(samples));
}
BENCHMARK(BM_ArchiveWrite100Locations)->Unit(benchmark::kMillisecond);

void BM_ArchiveRead100Locations(benchmark::State& state) {
  const auto data = archive(hundredSamples());
  for (auto _ : state)
    benchmark::DoNotOptimize(unarchiveCount(data));
}
BENCHMARK(BM_ArchiveRead100Locations)->Unit(benchmark::kMillisecond);

// The points of a venue-resolution request for the same 100 samples.
void BM_DictionaryRepresentation100Locations(benchmark::State& state) {
  const auto directory = std::filesystem::temp_directory_path() / "trevalo-bench-vell";
  const auto previous = platform::Platform::install(
      platform::SimulatedPlatform::make({.documentsDirectory = directory}));
  const auto samples = hundredSamples();
  for (auto _ : state) {
    Json points = Json::array();
    for (const auto& sample : samples)
      points.push_back(sample->dictionaryRepresentation());
    benchmark::DoNotOptimize(points);
  }
  platform::Platform::install(previous);
  std::filesystem::remove_all(directory);
}
BENCHMARK(BM_DictionaryRepresentation100Locations)->Unit(benchmark::kMillisecond);

}  // namespace
