#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include "json/LocationDictionary.h"

namespace {

using trevalo::Coordinate;
using trevalo::Date;
using trevalo::Location;
using trevalo::LocationDictionary;

// Every collected point goes out through its dictionary, and recordings come back through it.
void BM_LocationDictionaryRoundTrip(benchmark::State& state) {
  const Location location(Coordinate{48.858370, 2.294481}, 35.5, 4.9, 3.1, 271.25, 1.42,
                          Date(1767225600.123));
  for (auto _ : state) {
    const auto dictionary = LocationDictionary::dictionaryRepresentation(location);
    benchmark::DoNotOptimize(LocationDictionary::initWithDictionary(dictionary, false));
  }
}
BENCHMARK(BM_LocationDictionaryRoundTrip);

}  // namespace
