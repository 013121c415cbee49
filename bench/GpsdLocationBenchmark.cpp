// The path of a fix from gpsd to the location manager's delegate: the CPU a whole gpsfake
// replay costs this process per fix delivered (the session's thread reading and unpacking
// gpsd's reports, the run loop applying the location-manager contract, an empty delegate),
// and its two halves on their own: one report through libgps and the mapping, and one fix
// through the software location manager with and without monitored regions.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/GpsdProbe.h"
#include "platform/linux/LibgpsSession.h"
#include "support/ChildProcess.h"
#include "trevalo/platform/RealTimeRunLoop.h"
#include "trevalo/platform/SoftwareLocationManager.h"
#include "trevalo/platform/linux/GpsdLocationManager.h"
#include "trevalo/platform/linux/SystemClock.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace {

using namespace trevalo::platform;

const std::filesystem::path kLog =
    std::filesystem::path(TREVALO_SOURCE_DIR) / "tests" / "data" / "nmea" / "telit-he910.log";

double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Counts the fixes and notes the process's CPU time at the first and at the latest one.
struct CountingDelegate final : LocationManagerDelegate {
  void locationManagerDidUpdateLocations(LocationManager&,
                                         const std::vector<Location>& locations) override {
    const double cpu = processCpuSeconds();
    if (count.load() == 0) firstCpu.store(cpu);
    latestCpu.store(cpu);
    count.fetch_add(locations.size());
    last.store(locations.back().timestamp().timeIntervalSince1970());
  }
  std::atomic<std::size_t> count{0};
  std::atomic<double> last{0.0};
  std::atomic<double> firstCpu{0.0};
  std::atomic<double> latestCpu{0.0};
};

// One whole replay per iteration. The CPU this process spends between the first fix and the
// last, per fix after the first: the steady cost of a fix, from reading gpsd's reports (every
// report of an epoch, not only the position) to the delegate. Opening the session comes once
// and is left out.
void BM_GpsfakeReplayCpuPerFix(benchmark::State& state) {
  constexpr double kLastFixOfTheLog = 1552388099.408;  // 2019-03-12T10:54:59.408Z
  for (auto _ : state) {
    const std::string port = trevalo::testing::freeLoopbackPort();
    std::optional<trevalo::testing::ChildProcess> replay;
    try {
      // gpsfake starts its gpsd with "-S <port>": killed and reaped with it.
      replay.emplace(std::vector<std::string>{"gpsfake", "-1", "-n", "-q", "-P", port, "-c",
                                              "0.002", kLog.string()},
                     trevalo::testing::ChildProcess::Options{.daemonMarker = std::string("-S") +
                                                                             '\0' + port + '\0'});
    } catch (const std::exception&) {
      state.SkipWithError("gpsfake cannot run here");
      return;
    }
    for (int i = 0; i < 200 && !GpsdProbe::answers("127.0.0.1", port, 0.5); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    auto clock = std::make_shared<SystemClock>();
    auto runLoop = std::make_shared<RealTimeRunLoop>(clock);
    runLoop->startThread();
    auto delegate = std::make_shared<CountingDelegate>();
    {
      auto manager = GpsdLocationManager::make(runLoop, {.host = "127.0.0.1", .port = port});
      manager->setDelegate(delegate);
      manager->startUpdatingLocation();
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (delegate->last.load() < kLastFixOfTheLog - 1e-3 &&
             std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    runLoop->stopThread();
    const auto fixes = delegate->count.load();
    const double cpu = delegate->latestCpu.load() - delegate->firstCpu.load();
    state.SetIterationTime(cpu);
    state.counters["fixes"] = static_cast<double>(fixes);
    state.counters["cpu_us_per_fix"] = fixes > 1 ? cpu * 1e6 / static_cast<double>(fixes - 1) : 0.0;
  }
}
BENCHMARK(BM_GpsfakeReplayCpuPerFix)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// What the session's thread does with one report: libgps unpacks it, the fix is taken out and
// mapped onto a platform location and heading.
void BM_ReportToLocation(benchmark::State& state) {
  const std::string report =
      R"({"class":"TPV","device":"/dev/pts/1","mode":3,"time":"2019-03-12T10:51:53.408Z",)"
      R"("ept":0.005,"lat":50.840203333,"lon":4.347108333,"altHAE":154.79,"altMSL":109.0,)"
      R"("alt":109.0,"epx":15.076,"epy":31.255,"epv":74.75,"track":303.6,"magtrack":304.9513,)"
      R"("magvar":1.4,"speed":0.067,"geoidSep":45.79,"eph":42.75,"sep":76.0})";
  gps_data_t data{};
  for (auto _ : state) {
    std::string line = report;
    gps_unpack(line.data(), &data);
    const auto fix = LibgpsSession::fixFromReport(line, data);
    benchmark::DoNotOptimize(fix->location());
    benchmark::DoNotOptimize(fix->heading());
  }
}
BENCHMARK(BM_ReportToLocation);

struct NullDelegate final : LocationManagerDelegate {};

// One fix pushed into the software manager and handled on the run loop up to the delegate,
// with the distance filter of the walking strategies and 0 or 6 monitored regions.
void BM_SoftwareManagerFix(benchmark::State& state) {
  const auto platform = SimulatedPlatform::make(
      {.documentsDirectory = std::filesystem::temp_directory_path() / "trevalo-bench-gpsd"});
  auto manager = std::make_shared<SoftwareLocationManager>(platform->services().runLoop);
  const auto delegate = std::make_shared<NullDelegate>();
  manager->setDelegate(delegate);
  manager->setDistanceFilter(1.0);
  manager->setDesiredAccuracy(kLocationAccuracyNearestTenMeters);
  for (int k = 0; k < state.range(0); ++k) {
    manager->startMonitoringForRegion(
        {{50.8402 + 0.0003 * k, 4.3471}, 16.0, "tr_geofence" + std::to_string(k)});
  }
  manager->startUpdatingLocation();
  double step = 0;
  for (auto _ : state) {
    step += 1;
    manager->pushLocation(
        Location({50.84 + step * 2e-5, 4.347}, 100, 8, 10, 90, 1.4, Date(1552387913.0 + step)));
    platform->virtualRunLoop().runUntilIdle();
  }
}
BENCHMARK(BM_SoftwareManagerFix)->Arg(0)->Arg(6);

}  // namespace
