// `trevalo serve`'s HTTP server on loopback with 100 venues: reverse-geocode requests in the
// common format, each client thread on one kept-alive connection. items_per_second is the
// requests answered per second, all threads together.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "service/ServiceHttpServer.h"

namespace {

using namespace trevalo;

// 100 point venues on a 10 x 10 grid about 100 m apart.
service::VenueTable gridOfVenues() {
  std::vector<service::Venue> venues;
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 10; ++column) {
      service::Venue venue;
      venue.id = "v" + std::to_string(row * 10 + column);
      venue.name = "Venue " + venue.id;
      venue.category = "shop";
      venue.addressId = "a-" + venue.id;
      venue.streetName = "Grid Street";
      venue.locality = "Testville";
      venue.country = "Nowhere";
      venue.center = {48.85 + row * 0.0009, 2.35 + column * 0.0014};
      venues.push_back(std::move(venue));
    }
  }
  return service::VenueTable(std::move(venues));
}

service::ServiceHttpServer& server() {
  static std::once_flag made;
  static std::unique_ptr<service::ServiceHttpServer> instance;
  std::call_once(made, [] {
    auto reference = std::make_shared<service::ReferenceService>(
        gridOfVenues(), std::make_shared<service::ServiceStore>(":memory:"),
        [] { return Date::now(); });
    instance = std::make_unique<service::ServiceHttpServer>(
        reference, service::ServiceHttpServer::Options{.keepAliveSeconds = 30});
    instance->start();
  });
  return *instance;
}

void BM_ServeReverseGeocode(benchmark::State& state) {
  httplib::Client client("127.0.0.1", server().port());
  client.set_keep_alive(true);
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 7;
  std::size_t failures = 0;
  for (auto _ : state) {
    ++i;
    const std::string target =
        "/reverse?format=jsonv2&lat=" +
        std::to_string(48.85 + static_cast<double>(i % 10) * 0.0009) +
        "&lon=" + std::to_string(2.35 + static_cast<double>(i / 10 % 10) * 0.0014);
    const auto response = client.Get(target);
    if (!response || response->status != 200) ++failures;
    benchmark::DoNotOptimize(response);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_ServeReverseGeocode)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

}  // namespace
