#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "networking/LoopbackServer.h"
#include "platform/ThreadPool.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"
#include "visits/VisitTestSupport.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;
using testing::VisitTrackerTest;

// The tracker with the real transport against a service on 127.0.0.1, its operations on real
// threads: a pool runs them and another takes their completions, while the test's thread is
// the run loop. The service resolves every stay to a place named after the latitude of its
// last point, and fails the first `failingLogs` visit logs with status 500.
class VisitTrackerThreadedTest : public VisitTrackerTest {
 protected:
  void customize(platform::SimulatedPlatform::Options& options) override {
    options.operationExecutor = std::make_shared<platform::ThreadPool>(3);
    options.globalQueue = std::make_shared<platform::ThreadPool>(2);
  }
  void SetUp() override {
    VisitTrackerTest::SetUp();
    platform().setHttpTransport(std::make_shared<platform::CurlHttpTransport>());
    server_.emplace([this](httplib::Server& server) {
      server.Post("/v1/geocode/reverse_geocode", [](const httplib::Request& request,
                                                    httplib::Response& response) {
        const auto body = Json::parse(request.body);
        const double latitude = body["points"].back().value("latitude", 0.0);
        const auto id = std::to_string(static_cast<long>(latitude * 1000));
        response.set_content(testing::placeJson("A" + id, "V" + id).dump(), "application/json");
      });
      server.Post("/v1/logging/visit",
                  [this](const httplib::Request& request, httplib::Response& response) {
                    const std::lock_guard lock(mutex_);
                    logBodies_.push_back(Json::parse(request.body));
                    response.status = logBodies_.size() <= failingLogs_ ? 500 : 200;
                  });
    });
    TRNetworkClient::Hosts hosts;
    hosts.serviceApi = server_->url();
    client_->setHosts(hosts);
  }
  void TearDown() override {
    VisitTrackerTest::TearDown();
    server_.reset();
  }

  bool waitFor(const std::function<bool()>& done) { return runLoop().runUntil(done, 20s); }
  std::size_t logCount() {
    const std::lock_guard lock(mutex_);
    return logBodies_.size();
  }

  std::optional<LoopbackServer> server_;
  std::mutex mutex_;
  std::vector<Json> logBodies_;
  std::size_t failingLogs_ = 1;
};

TEST_F(VisitTrackerThreadedTest, ManyStaysAndLogsInFlightAtOnceAllComeToAnEnd) {
  for (int i = 0; i < 6; ++i) {
    resolveStayAt(40.0 + i, -73.0);
    advanceBy(1);
  }
  const auto settled = [&] {
    return tracker_->operationsQueue().empty() &&
           tracker_->nsOperationQueue()->operationCount() == 0;
  };
  // Failed operations wait, none of them executing, for the next retry.
  const auto waiting = [&] {
    const auto operations = tracker_->nsOperationQueue()->operations();
    return std::none_of(operations.begin(), operations.end(),
                        [](const auto& operation) { return operation->isExecuting(); });
  };
  for (int round = 0; round < 50 && !settled(); ++round) {
    ASSERT_TRUE(waitFor([&] { return settled() || waiting(); }));
    advanceBy(3600);  // past any back-off
    tracker_->resendAllPendingOperations();
  }
  ASSERT_TRUE(settled());
  EXPECT_EQ(savedOperationCount(), 0u);
  EXPECT_EQ(delegate_->finished.size(), 6 + logCount() - failingLogs_);
}

}  // namespace
}  // namespace trevalo
