// The strategy state machine and the keep-alive loop in virtual time: a forced strategy change,
// and two hours of walking with the 17-second heartbeat.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "strategies/StrategiesStateMachine.h"
#include "strategies/TRKeepAliveLoop.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace {

using namespace trevalo;

class WalkingDelegate : public StrategiesStateMachineDelegate, public TRKeepAliveLoopDelegate {
 public:
  void strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from) override {
    benchmark::DoNotOptimize(strategy.desiredAccuracy);
    benchmark::DoNotOptimize(from);
    ++changes;
  }
  TRStateMachingeContext getStateMachineContext() override {
    return {TRModeWalking, false, std::nullopt};
  }
  void newLoopProcessed() override { ++ticks; }
  int changes = 0;
  int ticks = 0;
};

// Installs a fresh simulated platform for as long as it lives. Nothing here writes files.
class InstalledPlatform {
 public:
  InstalledPlatform()
      : platform_(platform::SimulatedPlatform::make(
            {.documentsDirectory = std::filesystem::temp_directory_path() / "trevalo-bench"})),
        previous_(platform::Platform::install(platform_)) {}
  ~InstalledPlatform() { platform::Platform::install(previous_); }
  InstalledPlatform(const InstalledPlatform&) = delete;
  InstalledPlatform& operator=(const InstalledPlatform&) = delete;

  platform::VirtualTimeRunLoop& runLoop() const { return platform_->virtualRunLoop(); }

 private:
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
};

void BM_ForcedStrategyChange(benchmark::State& state) {
  const InstalledPlatform installed;
  const auto delegate = std::make_shared<WalkingDelegate>();
  const auto machine = StrategiesStateMachine::initWithDelegate(delegate);
  machine->startWithInitialState();
  for (auto _ : state)
    machine->forceStateChange();  // LowWalking and HighWalking in turn
}
BENCHMARK(BM_ForcedStrategyChange);

void BM_TwoHoursOfWalking(benchmark::State& state) {
  for (auto _ : state) {
    const InstalledPlatform installed;
    const auto delegate = std::make_shared<WalkingDelegate>();
    const auto loop = TRKeepAliveLoop::make();
    loop->setDelegate(delegate);
    const auto machine = StrategiesStateMachine::initWithDelegate(delegate);
    loop->start();
    machine->startWithInitialState();
    machine->forceStateChange();
    installed.runLoop().advanceBy(2 * 3600.0);
    loop->stop();
    benchmark::DoNotOptimize(delegate->changes + delegate->ticks);
  }
}
BENCHMARK(BM_TwoHoursOfWalking)->Unit(benchmark::kMicrosecond);

}  // namespace
