#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "model/shape/TRLocation.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/shape/TRSinglePolygon.h"

namespace {

using trevalo::Coordinate;
using trevalo::Date;
using trevalo::Json;
using trevalo::Location;
using trevalo::TRLocation;
using trevalo::TRPlace;
using trevalo::TRSinglePolygon;

constexpr double kPi = 3.141592653589793;

// A closed ring of `count` vertices on a wobbly circle of about 500 m around a city block, the
// shape of a large building outline or a park.
std::vector<Coordinate> ring(int count, Coordinate centre) {
  std::vector<Coordinate> vertices;
  for (int i = 0; i < count - 1; ++i) {
    const double angle = 2 * kPi * i / (count - 1);
    const double radius = 0.0045 * (1.0 + 0.1 * std::sin(7 * angle));
    vertices.push_back(
        {centre.latitude + radius * std::sin(angle),
         centre.longitude + radius * std::cos(angle) / std::cos(centre.latitude * kPi / 180)});
  }
  vertices.push_back(vertices.front());
  return vertices;
}

// Fixes scattered over and around the ring, half of them inside.
std::vector<TRLocation> probes(Coordinate centre) {
  std::vector<TRLocation> fixes;
  for (int i = 0; i < 64; ++i) {
    const double angle = 0.7 * i;
    const double distance = 0.0001 * (i % 16) * 6;
    fixes.emplace_back(Location({centre.latitude + distance * std::sin(angle),
                                 centre.longitude + distance * std::cos(angle)},
                                0, 5, -1, -1, -1, Date(1.7e9)));
  }
  return fixes;
}

void BM_ContainmentIn1000VertexRing(benchmark::State& state) {
  const Coordinate centre{40.7419, -73.9893};
  const TRSinglePolygon polygon("Polygon", ring(1000, centre));
  const auto fixes = probes(centre);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(polygon.containsLocation(fixes[i & 63]));
    ++i;
  }
}
BENCHMARK(BM_ContainmentIn1000VertexRing);

void BM_DistanceTo40VertexRing(benchmark::State& state) {
  const Coordinate centre{40.7419, -73.9893};
  const TRSinglePolygon polygon("Polygon", ring(40, centre));
  const auto fixes = probes(centre);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(polygon.distanceTo(fixes[i & 63]));
    ++i;
  }
}
BENCHMARK(BM_DistanceTo40VertexRing);

// A resolved place as the visit tracker caches it: venue, address, a building outline and two
// alternatives of its own.
Json placeAnswer() {
  Json outline = Json::array();
  for (const Coordinate& vertex : ring(24, {40.7419, -73.9893}))
    outline.push_back({vertex.longitude, vertex.latitude});
  const auto alternative = [&](const char* id, const char* name) {
    return Json{{"venue", {{"id", id}, {"name", name}, {"category", "shop"}}},
                {"address",
                 {{"id", std::string("a-") + id},
                  {"country", "United States"},
                  {"location", {{"lat", 40.742}, {"lng", -73.989}}}}},
                {"geometry",
                 {{"id", std::string("g-") + id},
                  {"geometry", {{"type", "Polygon"}, {"coordinates", {outline}}}}}}};
  };
  return Json{
      {"venue",
       {{"id", "v-5821"},
        {"address_id", "a-1009"},
        {"name", "Blue Door Coffee"},
        {"category", "food"},
        {"subcategory", "cafe"}}},
      {"address",
       {{"id", "a-1009"},
        {"geometry_id", "g-77"},
        {"country", "United States"},
        {"locality", "New York"},
        {"country_code", "US"},
        {"street_name", "Broadway"},
        {"street_number", "935"},
        {"postal_code", "10010"},
        {"region", "NY"},
        {"venue_count", 3},
        {"location", {{"lat", 40.741895}, {"lng", -73.989308}}}}},
      {"geometry",
       {{"id", "g-77"},
        {"class", "building"},
        {"inside", true},
        {"dist", 4},
        {"geometry", {{"type", "Polygon"}, {"coordinates", {outline}}}}}},
      {"alternatives", {alternative("v-5822", "Corner Books"), alternative("v-5823", "Gym")}}};
}

void BM_PlaceArchiveWriteAndRead(benchmark::State& state) {
  const auto place = TRPlace::initWithDictionary(placeAnswer());
  for (auto _ : state) {
    const auto data = trevalo::platform::KeyedArchiver::archivedDataWithRootObject(place);
    auto restored = trevalo::platform::KeyedUnarchiver::unarchiveObjectOfClass<TRPlace>(data);
    benchmark::DoNotOptimize(restored);
  }
}
BENCHMARK(BM_PlaceArchiveWriteAndRead);

void BM_PlaceFromJson(benchmark::State& state) {
  const Json answer = placeAnswer();
  for (auto _ : state) {
    auto place = TRPlace::initWithDictionary(answer);
    benchmark::DoNotOptimize(place);
  }
}
BENCHMARK(BM_PlaceFromJson);

}  // namespace
