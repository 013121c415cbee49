// A 24-hour trace at 1 Hz with 20 Hz accelerometer readings through the whole replay: the
// facade on the replayed device, against the embedded reference service, in virtual time.
// Measured from the JSON Lines text (read and replay) and from the trace in memory (replay).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "service/ReferenceService.h"
#include "service/ServiceResponder.h"
#include "service/ServiceStore.h"
#include "service/VenueTable.h"
#include "simulation/SdkReplay.h"
#include "simulation/TraceReader.h"
#include "trevalo/platform/Platform.h"

namespace {

using trevalo::simulation::SdkReplay;
using trevalo::simulation::Trace;

constexpr int kSeconds = 24 * 3600;
constexpr double kStart = 1717372800.0;  // 2024-06-03T00:00:00Z

// The day: hours at home, a walk, hours at work, a walk back and the night at home; indoors
// the fixes wander tens of metres, outdoors they follow the street at walking pace.
const std::string& day() {
  static const std::string text = [] {
    std::string lines;
    lines.reserve(std::size_t{kSeconds} * 500);
    char line[256];
    for (int t = 0; t < kSeconds; ++t) {
      const double hour = t / 3600.0;
      const bool walking = (hour >= 8.0 && hour < 8.5) || (hour >= 17.0 && hour < 17.5);
      double north = 0.0;
      if (hour >= 8.0 && hour < 8.5) north = (t - 8 * 3600) * 1.4;
      if (hour >= 8.5 && hour < 17.0) north = 1800 * 1.4;
      if (hour >= 17.0 && hour < 17.5) north = 1800 * 1.4 - (t - 17 * 3600) * 1.4;
      const double wobble = walking ? 0.0 : 15.0 * std::sin(t / 97.0);
      const double latitude = 48.85 + (north + wobble) / 111195.0;
      const double longitude = 2.35 + 10.0 * std::cos(t / 131.0) / 73000.0;
      if (walking) {
        std::snprintf(line, sizeof line,
                      "{\"t\":%.0f,\"type\":\"fix\",\"lat\":%.6f,\"lng\":%.6f,\"acc\":6,"
                      "\"speed\":1.4,\"course\":0}\n",
                      kStart + t, latitude, longitude);
      } else {
        std::snprintf(line, sizeof line,
                      "{\"t\":%.0f,\"type\":\"fix\",\"lat\":%.6f,\"lng\":%.6f,\"acc\":35}\n",
                      kStart + t, latitude, longitude);
      }
      lines += line;
      std::snprintf(line, sizeof line, "{\"t\":%.0f,\"type\":\"accel\",\"hz\":20,\"samples\":[",
                    kStart + t);
      lines += line;
      for (int i = 0; i < 20; ++i) {
        const double swing = walking ? 0.3 * std::sin((t * 20 + i) * 0.6) : 0.002 * (i % 3);
        std::snprintf(line, sizeof line, "%s[%.3f,%.3f,%.3f]", i ? "," : "", swing, -0.02,
                      -1.0 + swing);
        lines += line;
      }
      lines += "]}\n";
    }
    return lines;
  }();
  return text;
}

const char* const kVenues = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "id": "home", "properties": {"name": "Home"},
   "geometry": {"type": "Point", "coordinates": [2.35, 48.85]}},
  {"type": "Feature", "id": "work", "properties": {"name": "Work"},
   "geometry": {"type": "Point", "coordinates": [2.35, 48.87266]}}]})";

// One replay in a fresh directory, with a fresh in-memory store.
void replay(const std::shared_ptr<const Trace>& trace) {
  const auto directory = std::filesystem::temp_directory_path() / "trevalo-replay-bench";
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  auto service = std::make_shared<trevalo::service::ReferenceService>(
      trevalo::service::VenueTable::fromGeoJson(kVenues),
      std::make_shared<trevalo::service::ServiceStore>(":memory:"),
      [] { return trevalo::platform::Platform::current().clock().now(); });
  SdkReplay::Options options;
  options.documentsDirectory = directory;
  options.responder = trevalo::service::ServiceResponder::make(service);
  {
    SdkReplay run(trace, options);
    run.play();
    benchmark::DoNotOptimize(run.recordedRun().events.data());
  }
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}

void BM_ReadAndReplayDay(benchmark::State& state) {
  for (auto _ : state) {
    replay(std::make_shared<const Trace>(trevalo::simulation::TraceReader::read(day())));
  }
}
BENCHMARK(BM_ReadAndReplayDay)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReplayDay(benchmark::State& state) {
  const auto trace = std::make_shared<const Trace>(trevalo::simulation::TraceReader::read(day()));
  for (auto _ : state)
    replay(trace);
}
BENCHMARK(BM_ReplayDay)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
