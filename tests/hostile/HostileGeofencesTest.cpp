#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "HostileCases.h"
#include "HostileServer.h"
#include "analyzer/TRGeofencesManager.h"
#include "networking/TRNetworkClient.h"
#include "platform/KeyedUnarchiver.h"
#include "support/PlatformTest.h"
#include "utils/TRUtils.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::HostileServer;

class NoEvents final : public TRGeofenceDelegate {
 public:
  void enteredRegion(const std::shared_ptr<TRGeofence>&) override {}
  void exitedRegion(const std::shared_ptr<TRGeofence>&) override {}
};

// The geofence manager against a service that turns hostile after a first fetch: a walk far
// from the fetched geofences asks again and again, and the service fails in one of the hostile
// ways; then it is healthy again.
class HostileGeofencesTest : public testing::PlatformTest,
                             public ::testing::WithParamInterface<testing::HostileCase> {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    platform().setHttpTransport(testing::hostileTransport({.maximumResponseBytes = 1024 * 1024}));
    server_.emplace([this](const HostileServer::Request& request) {
      if (!healthy_) return GetParam().behaviour;
      const auto body = Json::parse(request.body);
      Json geofences = Json::array();
      for (int i = 0; i < 2; ++i) {
        geofences.push_back({{"id", "G" + std::to_string(i)},
                             {"address",
                              {{"location",
                                {{"latitude", body.value("lat", 0.0) + i * 0.001},
                                 {"longitude", body.value("lng", 0.0)}}}}}});
      }
      return HostileServer::Behaviour::answer(200, geofences.dump());
    });
    client_->setHosts({server_->url(), server_->url(), server_->url(), server_->url()});
    client_->setApiKey("token");

    manager_ = TRGeofencesManager::make();
    manager_->setFetchGeofences([this](Coordinate center,
                                       const TRGeofencesManager::Filters& filters,
                                       TRGeofencesManager::FetchCompletion complete) {
      ++inFlight_;
      client_->getGeofences(center, filters, [this, complete](auto value, auto error) {
        --inFlight_;
        complete(std::move(value), std::move(error));
      });
    });
    auto filter = std::make_shared<TRFilter>();
    filter->venueName = "coffee";
    filter->radius = 100.0;
    manager_->updateFilters({filter}, delegate_);
  }
  void TearDown() override {
    manager_.reset();
    PlatformTest::TearDown();
    server_.reset();
  }

  void walkTo(Coordinate at) {
    manager_->processNewLocation(at);
    ASSERT_TRUE(runLoop().runUntil([&] { return inFlight_ == 0; }, 10s));
  }

  std::optional<HostileServer> server_;
  std::atomic<bool> healthy_{true};
  int inFlight_ = 0;
  std::shared_ptr<TRNetworkClient> client_ = std::make_shared<TRNetworkClient>();
  std::shared_ptr<NoEvents> delegate_ = std::make_shared<NoEvents>();
  std::shared_ptr<TRGeofencesManager> manager_;
};

TEST_P(HostileGeofencesTest, FailedFetchesKeepWhatWasFetchedAndComeNoOftenerThanTheLimit) {
  walkTo({40.7, -73.9});
  ASSERT_TRUE(manager_->geofences());
  ASSERT_EQ(manager_->geofences()->size(), 2u);

  healthy_ = false;
  std::vector<double> fetches;
  std::size_t seen = server_->count();
  for (double t = 5; t <= 300; t += 5) {
    advanceBy(5);
    walkTo({41.7, -73.9});
    if (const auto count = server_->count(); count > std::exchange(seen, count))
      fetches.push_back(t);
  }
  ASSERT_GE(fetches.size(), 8u);
  for (std::size_t i = 1; i < fetches.size(); ++i)
    EXPECT_GT(fetches[i] - fetches[i - 1], TRGeofencesManager::kReloadInterval);
  EXPECT_EQ(manager_->geofences()->size(), 2u) << "a failed fetch changes nothing";
  EXPECT_EQ(manager_->center(), (Coordinate{40.7, -73.9}));

  healthy_ = true;
  advanceBy(31);
  walkTo({41.7, -73.9});
  EXPECT_EQ(manager_->center(), (Coordinate{41.7, -73.9}));
  const auto saved = platform::KeyedUnarchiver::unarchiveObjectOfClassWithFile<TRGeofencesManager>(
      TRUtils::getDocumentsPath() / TRGeofencesManager::kArchiveFileName);
  ASSERT_TRUE(saved && saved->geofences());
  EXPECT_EQ(saved->geofences()->size(), 2u);
  EXPECT_EQ(saved->center(), (Coordinate{41.7, -73.9}));
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileGeofencesTest, ::testing::ValuesIn(testing::hostileCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace trevalo
