#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "motion/TRMotionControl.h"
#include "trevalo/platform/simulated/MotionScript.h"
#include "vell/ExtraLocationInfoCollector.h"

namespace {

using trevalo::TRMotionControl;
using trevalo::platform::AccelerometerData;
using trevalo::platform::MotionScript;

// The window the sensor queue analyses every 5 s: 101 samples at 20 a second.
std::vector<AccelerometerData> window(const MotionScript& script) {
  std::vector<AccelerometerData> samples;
  for (int i = 0; i <= 100; ++i) {
    const double t = 1.0 + i / 20.0;
    samples.push_back({script.readingAt(t).value().acceleration, t});
  }
  return samples;
}

void BM_AnalyzeWalkingWindow(benchmark::State& state) {
  const auto samples = window(MotionScript::walking(10.0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(TRMotionControl::analyzeAccelerometerData(samples));
  }
}
BENCHMARK(BM_AnalyzeWalkingWindow)->Unit(benchmark::kMicrosecond);

void BM_AnalyzeStillWindow(benchmark::State& state) {
  const auto samples = window(MotionScript::still(10.0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(TRMotionControl::analyzeAccelerometerData(samples));
  }
}
BENCHMARK(BM_AnalyzeStillWindow)->Unit(benchmark::kMicrosecond);

}  // namespace
