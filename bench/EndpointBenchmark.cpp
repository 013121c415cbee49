// The collected-points request: 100 enriched locations, each with 20 accelerometer and 5
// heading samples, turned into a JSON body and a request and handed to the transport.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "networking/TRNetworkClient.h"
#include "trevalo/platform/HttpTransport.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "vell/TRVellLocation.h"

namespace {

using namespace trevalo;

// Answers every request at once with an empty success, remembering the body size.
class AnsweringTransport final : public platform::HttpTransport {
 public:
  void send(platform::HttpRequest request, Completion completion) override {
    bodyBytes = request.body ? request.body->size() : 0;
    completion(platform::HttpResponse{200, {}, {}}, std::nullopt);
  }
  std::size_t bodyBytes = 0;
};

std::vector<std::shared_ptr<TRVellLocation>> collectedPoints(Date start) {
  std::vector<std::shared_ptr<TRVellLocation>> points;
  for (int i = 0; i < 100; ++i) {
    const Date time = start.dateByAddingTimeInterval(i);
    auto point = std::make_shared<TRVellLocation>(Location(
        {51.5 + i * 1e-5, -0.1278 - i * 1e-5}, 11.0 + i * 0.1, 5.0, 3.0, 87.5, 1.25, time));
    for (int a = 0; a < 20; ++a) {
      point->accelArray.push_back({{0.01 * a, -0.02 * a, -0.98 + 0.001 * a}, 1000.0 + a * 0.05});
    }
    for (int h = 0; h < 5; ++h) {
      point->headingArray.push_back({120.0 + h, 121.5 + h, 10.0, 30.1, -12.2, 40.3 + h, time});
    }
    point->wifiName = "CoffeeHouse-5G";
    point->mode = TRModeBurst;
    points.push_back(std::move(point));
  }
  return points;
}

void BM_CollectedPointsRequest(benchmark::State& state) {
  const auto documents = std::filesystem::temp_directory_path() / "trevalo-bench-endpoints";
  auto simulated = platform::SimulatedPlatform::make({.documentsDirectory = documents});
  simulated->advertisingIdentifierText().set("6D92078A-8246-4BA4-AE5B-76104861E7DC");
  simulated->application().setBundleIdentifier("com.example.app");
  const auto transport = std::make_shared<AnsweringTransport>();
  simulated->setHttpTransport(transport);
  const auto previous = platform::Platform::install(simulated);
  {
    TRNetworkClient client;
    client.setApiKey("token");
    const auto points = collectedPoints(simulated->clock().now());
    int answered = 0;
    for (auto _ : state) {
      client.sendLastLocations(
          points, std::nullopt,
          [&answered](std::optional<Json>, std::optional<Error>) { ++answered; });
      simulated->virtualRunLoop().runUntilIdle();
    }
    if (answered != static_cast<int>(state.iterations())) state.SkipWithError("lost answers");
    state.counters["body_bytes"] = static_cast<double>(transport->bodyBytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(transport->bodyBytes));
  }
  platform::Platform::install(previous);
  std::error_code ignored;
  std::filesystem::remove_all(documents, ignored);
}
BENCHMARK(BM_CollectedPointsRequest)->Unit(benchmark::kMicrosecond);

// The parts of the request above, for telling where its time goes: the points' dictionaries,
// and writing the finished body as text.
void BM_CollectedPointsDictionaries(benchmark::State& state) {
  const auto documents = std::filesystem::temp_directory_path() / "trevalo-bench-endpoints";
  const auto previous = platform::Platform::install(
      platform::SimulatedPlatform::make({.documentsDirectory = documents}));
  {
    const auto points = collectedPoints(Date(1767225600.0));
    for (auto _ : state) {
      Json list = Json::array();
      for (const auto& point : points)
        list.push_back(point->dictionaryRepresentation());
      benchmark::DoNotOptimize(list);
    }
  }
  platform::Platform::install(previous);
  std::error_code ignored;
  std::filesystem::remove_all(documents, ignored);
}
BENCHMARK(BM_CollectedPointsDictionaries)->Unit(benchmark::kMicrosecond);

void BM_CollectedPointsSerialisation(benchmark::State& state) {
  const auto documents = std::filesystem::temp_directory_path() / "trevalo-bench-endpoints";
  const auto previous = platform::Platform::install(
      platform::SimulatedPlatform::make({.documentsDirectory = documents}));
  {
    Json body = Json::object();
    body["points"] = Json::array();
    for (const auto& point : collectedPoints(Date(1767225600.0)))
      body["points"].push_back(point->dictionaryRepresentation());
    for (auto _ : state) {
      std::string text = body.dump();
      benchmark::DoNotOptimize(text);
    }
  }
  platform::Platform::install(previous);
  std::error_code ignored;
  std::filesystem::remove_all(documents, ignored);
}
BENCHMARK(BM_CollectedPointsSerialisation)->Unit(benchmark::kMicrosecond);

}  // namespace
