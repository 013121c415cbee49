// The facade end to end: one fix taken in, and one simulated day in virtual time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "analyzer/TRLocationAnalyzer.h"
#include "analyzer/modes/TRWalkingMode.h"
#include "networking/TRNetworkClient.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/simulated/MotionScript.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace {

using namespace trevalo;

constexpr double kPi = 3.141592653589793;
constexpr Coordinate kOrigin{48.85, 2.35};

// On a circle of 500 m around the origin, `metres` along it: walking all day stays in town.
Coordinate aroundTheBlock(double metres) {
  constexpr double kRadius = 500.0;
  const double angle = metres / kRadius;
  const double north = kRadius * std::sin(angle);
  const double east = kRadius * std::cos(angle);
  return {kOrigin.latitude + north / 6378137.0 * 180.0 / kPi,
          kOrigin.longitude +
              east / (6378137.0 * std::cos(kOrigin.latitude * kPi / 180.0)) * 180.0 / kPi};
}

class CountingDelegate final : public TrevaloDelegate {
 public:
  void trevaloDidUpdateLocation(Trevalo&, const Location& location) override {
    benchmark::DoNotOptimize(location);
    ++locations;
  }
  long locations = 0;
};

// A started facade on a fresh simulated platform with a documents directory of its own, for as
// long as it lives.
class RunningFacade {
 public:
  explicit RunningFacade(bool withMotion)
      : directory_(std::filesystem::temp_directory_path() /
                   ("trevalo-facade-bench-" + std::to_string(::getpid()))),
        platform_(platform::SimulatedPlatform::make({.documentsDirectory = directory_})),
        previous_(platform::Platform::install(platform_)) {
    std::filesystem::create_directories(directory_);
    runLoop().runUntilIdle();
    auto& sensors = platform_->motionSensors();
    sensors.setGyroAvailable(false);
    sensors.setHasAltimeter(false);
    if (withMotion) sensors.setMotionScript(platform::MotionScript::walking(2 * 86400.0));
    TRWalkingMode::resetCarModeCount();
    trevalo_ =
        Trevalo::initWithContext(std::make_shared<TRContext>(std::make_shared<TRNetworkClient>()));
    trevalo_->startWithApiToken("token", delegate);
    runLoop().runUntilIdle();
  }
  ~RunningFacade() {
    trevalo_.reset();
    platform::Platform::install(previous_);
    platform_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  RunningFacade(const RunningFacade&) = delete;
  RunningFacade& operator=(const RunningFacade&) = delete;

  platform::VirtualTimeRunLoop& runLoop() const { return platform_->virtualRunLoop(); }
  Date start() const { return start_; }
  Trevalo& trevalo() const { return *trevalo_; }

  // The clock moves to `second` of the walk (timers and sensor samples due meanwhile run), and
  // the fix of that second is taken in.
  void walkTo(int second) {
    const Date at = start_.dateByAddingTimeInterval(second);
    runLoop().advanceTo(at);
    platform_->locationManager().deliverLocations(
        {Location(aroundTheBlock(1.4 * second), 0.0, 5.0, -1.0, 90.0, 1.4, at)});
    runLoop().runUntilIdle();
  }

  const std::shared_ptr<CountingDelegate> delegate = std::make_shared<CountingDelegate>();

 private:
  std::filesystem::path directory_;
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
  const Date start_ = platform_->clock().now();
  std::shared_ptr<Trevalo> trevalo_;
};

// One fix a second on foot through the whole facade: the enriched sample, the analyzer in
// walking mode with its history full, the delegate's callback (and the timers due each second).
void BM_FixIntake(benchmark::State& state) {
  RunningFacade facade(false);
  int second = 1;
  for (; second <= 300; ++second)
    facade.walkTo(second);
  const auto& analyzer = *facade.trevalo().trContext()->analyzeLocations;
  if (analyzer.currentMode() != TRModeWalking) state.SkipWithError("not walking");
  for (auto _ : state)
    facade.walkTo(second++);
  if (analyzer.currentMode() != TRModeWalking) state.SkipWithError("left walking");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FixIntake);

// A day on foot: 86,400 fixes at 1 Hz, with the accelerometer at 20 Hz in between (argument 1)
// or without motion (argument 0), from a fresh start each time.
void BM_SimulatedDay(benchmark::State& state) {
  const bool withMotion = state.range(0) != 0;
  for (auto _ : state) {
    RunningFacade facade(withMotion);
    for (int second = 1; second <= 86400; ++second)
      facade.walkTo(second);
    if (facade.delegate->locations != 86400) state.SkipWithError("fixes lost");
  }
}
BENCHMARK(BM_SimulatedDay)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
