// The path of a fix from gpsd to the location manager's delegate: the CPU a whole gpsfake
// replay costs this process per fix delivered (the run loop's thread reading and unpacking
// gpsd's reports, applying the location-manager contract, calling an empty delegate); beside
// it, the floor under any reader of gpsd on this machine, a thread that only wakes for each
// report; and the parts on their own: one report through libgps and the mapping, and one fix
// through the software location manager with and without monitored regions.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
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

// The last fix of the log, as a time and as gpsd writes it.
constexpr double kLastFixTime = 1552388099.408;
constexpr std::string_view kLastFixTimeText = "2019-03-12T10:54:59.408Z";

double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Counts the fixes, notes the process's CPU time at the first and at the latest one, and wakes
// the benchmark's thread once the last fix of the log has come (so that thread, asleep
// meanwhile, adds nothing to the figure).
class CountingDelegate final : public LocationManagerDelegate {
 public:
  explicit CountingDelegate(double lastFixTime) : lastFixTime_(lastFixTime) {}

  void locationManagerDidUpdateLocations(LocationManager&,
                                         const std::vector<Location>& locations) override {
    const double cpu = processCpuSeconds();
    const std::lock_guard lock(mutex_);
    if (count_ == 0) firstCpu_ = cpu;
    latestCpu_ = cpu;
    count_ += locations.size();
    latestFixTime_ = locations.back().timestamp().timeIntervalSince1970();
    if (reachedLastFixLocked()) done_.notify_all();
  }

  // Waits for the last fix, at most `seconds`; then the fixes and the CPU between the first
  // and the latest.
  std::pair<std::size_t, double> awaitLastFix(double seconds) {
    std::unique_lock lock(mutex_);
    done_.wait_for(lock, std::chrono::duration<double>(seconds),
                   [&] { return reachedLastFixLocked(); });
    return {count_, latestCpu_ - firstCpu_};
  }

 private:
  bool reachedLastFixLocked() const { return latestFixTime_ >= lastFixTime_ - 1e-3; }

  const double lastFixTime_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t count_ = 0;
  double firstCpu_ = 0.0;
  double latestCpu_ = 0.0;
  double latestFixTime_ = 0.0;
};

// gpsfake playing the log once, at the benchmark's argument in milliseconds a sentence, into a
// gpsd of its own on a free loopback port, once gpsd answers there; nothing (the benchmark
// skipped) when gpsfake cannot run.
struct Replay {
  std::string port;
  std::unique_ptr<trevalo::testing::ChildProcess> process;
};

std::optional<Replay> startReplay(benchmark::State& state) {
  const double secondsPerSentence = static_cast<double>(state.range(0)) * 1e-3;
  Replay replay{trevalo::testing::freeLoopbackPort(), nullptr};
  try {
    // gpsfake starts its gpsd with "-S <port>": killed and reaped with it.
    replay.process = std::make_unique<trevalo::testing::ChildProcess>(
        std::vector<std::string>{"gpsfake", "-1", "-n", "-q", "-P", replay.port, "-c",
                                 std::to_string(secondsPerSentence), kLog.string()},
        trevalo::testing::ChildProcess::Options{.daemonMarker =
                                                    std::string("-S") + '\0' + replay.port + '\0'});
  } catch (const std::exception&) {
    state.SkipWithError("gpsfake cannot run here");
    return std::nullopt;
  }
  for (int i = 0; i < 200 && !GpsdProbe::answers("127.0.0.1", replay.port, 0.5); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return replay;
}

// One whole replay an iteration, at 2 ms a sentence (an epoch's reports close together) and
// at 10 ms (spread over 70 ms, as from a slower serial line).
void atTwoPaces(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgName("ms_per_sentence")
      ->Arg(2)
      ->Arg(10)
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
}

void reportPerFix(benchmark::State& state, std::size_t fixes, double cpu) {
  state.SetIterationTime(cpu);
  state.counters["fixes"] = static_cast<double>(fixes);
  state.counters["cpu_us_per_fix"] = fixes > 1 ? cpu * 1e6 / static_cast<double>(fixes - 1) : 0.0;
}

// The CPU this process spends between the first fix and the last, per fix after the first: the
// steady cost of a fix, from reading gpsd's reports (every report of an epoch, not only the
// position) to the delegate. Opening the session comes once and is left out.
void BM_GpsfakeReplayCpuPerFix(benchmark::State& state) {
  for (auto _ : state) {
    const auto replay = startReplay(state);
    if (!replay) return;
    const std::string& port = replay->port;
    auto clock = std::make_shared<SystemClock>();
    auto runLoop = std::make_shared<RealTimeRunLoop>(clock);
    runLoop->startThread();
    auto delegate = std::make_shared<CountingDelegate>(kLastFixTime);
    std::pair<std::size_t, double> measured;
    {
      auto manager = GpsdLocationManager::make(runLoop, {.host = "127.0.0.1", .port = port});
      manager->setDelegate(delegate);
      manager->startUpdatingLocation();
      measured = delegate->awaitLastFix(60.0);
    }
    runLoop->stopThread();
    const auto [fixes, cpu] = measured;
    reportPerFix(state, fixes, cpu);
  }
}
BENCHMARK(BM_GpsfakeReplayCpuPerFix)->Apply(atTwoPaces);

// The floor under any reader of gpsd: one thread of this process connected to gpsd, waking
// for every report, counting the position reports and doing nothing else with them. The CPU
// of the whole replay per fix delivered: what waiting for and reading gpsd's reports costs on
// this machine before anything is made of them.
void BM_GpsfakeBareReaderCpuPerFix(benchmark::State& state) {
  for (auto _ : state) {
    const auto replay = startReplay(state);
    if (!replay) return;
    const std::string& port = replay->port;
    gps_data_t data{};
    if (gps_open("127.0.0.1", port.c_str(), &data) != 0) {
      state.SkipWithError("gpsd does not answer");
      return;
    }
    gps_stream(&data, WATCH_ENABLE | WATCH_JSON, nullptr);
    std::size_t fixes = 0;
    double firstCpu = 0.0;
    double lastCpu = 0.0;
    std::thread reader([&] {
      std::string pending;
      std::string lastTime;
      for (;;) {
        pollfd descriptor{data.gps_fd, POLLIN, 0};
        if (::poll(&descriptor, 1, 100) < 0) return;
        char chunk[8192];
        const auto length = ::recv(data.gps_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (length == 0) return;
        if (length < 0) continue;
        pending.append(chunk, static_cast<std::size_t>(length));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
          const std::string_view line(pending.data(), end);
          const auto time = line.find("\"time\":\"");
          const bool fix = line.find("\"class\":\"TPV\"") != std::string_view::npos &&
                           line.find("\"mode\":1") == std::string_view::npos &&
                           time != std::string_view::npos;
          if (fix && line.substr(time + 8, 24) != lastTime) {
            lastTime = line.substr(time + 8, 24);
            const double cpu = processCpuSeconds();
            if (fixes++ == 0) firstCpu = cpu;
            lastCpu = cpu;
          }
          pending.erase(0, end + 1);
          if (lastTime == kLastFixTimeText) return;
        }
      }
    });
    reader.join();
    gps_close(&data);
    reportPerFix(state, fixes, lastCpu - firstCpu);
  }
}
BENCHMARK(BM_GpsfakeBareReaderCpuPerFix)->Apply(atTwoPaces);

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
