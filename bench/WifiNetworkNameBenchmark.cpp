// The Wi-Fi network name, which the SDK reads for every fix: a read of the cached name, the
// same read through the system platform (its source and lock), and asking the kernel afresh,
// which a read costs only after a link or connection event.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "trevalo/platform/linux/LinuxWifiNetworkName.h"
#include "trevalo/platform/linux/SystemPlatform.h"

namespace {

using namespace trevalo::platform;

void BM_CachedRead(benchmark::State& state) {
  LinuxWifiNetworkName name;
  benchmark::DoNotOptimize(name.current());  // the first read asks the kernel and starts watching
  for (auto _ : state)
    benchmark::DoNotOptimize(name.current());
}
BENCHMARK(BM_CachedRead);

void BM_SystemPlatformRead(benchmark::State& state) {
  const auto platform = SystemPlatform::make(
      {.documentsDirectory = std::filesystem::temp_directory_path() / "trevalo-bench-wifi",
       .runLoopOnOwnThread = false});
  benchmark::DoNotOptimize(platform->wifiNetworkName());
  for (auto _ : state)
    benchmark::DoNotOptimize(platform->wifiNetworkName());
}
BENCHMARK(BM_SystemPlatformRead);

void BM_AskTheKernel(benchmark::State& state) {
  LinuxWifiNetworkName name;
  for (auto _ : state)
    name.refresh();
}
BENCHMARK(BM_AskTheKernel);

}  // namespace
