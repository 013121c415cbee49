#include <benchmark/benchmark.h>

#include <vector>

#include "vell/TRMath.h"

namespace {

using trevalo::Coordinate;
using trevalo::TRMath;

// Consecutive fixes of a walk: the distance test the analyzer runs on every sample.
void BM_ChordDistance(benchmark::State& state) {
  std::vector<Coordinate> track;
  for (int i = 0; i < 256; ++i)
    track.push_back({48.85 + i * 1e-5, 2.35 + i * 2e-5});
  std::size_t i = 0;
  for (auto _ : state) {
    const Coordinate& from = track[i & 255];
    const Coordinate& to = track[(i + 1) & 255];
    benchmark::DoNotOptimize(TRMath::vellDistanceFromLocation(from, to));
    ++i;
  }
}
BENCHMARK(BM_ChordDistance);

}  // namespace
