#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "HostileCases.h"
#include "HostileServer.h"
#include "visits/VisitTestSupport.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::HostileServer;

// The visit tracker against a service that turns hostile after the first visit has started:
// the departure's log and the next stay's resolution fail in one of the hostile ways, for two
// hours of retries at the keep-alive cadence; then the SDK restarts and the service is healthy
// again.
class HostileVisitTrackerTest : public testing::VisitTrackerTest,
                                public ::testing::WithParamInterface<testing::HostileCase> {
 protected:
  void SetUp() override {
    VisitTrackerTest::SetUp();
    // The cap answers sooner, for speed.
    platform().setHttpTransport(testing::hostileTransport({.maximumResponseBytes = 1024 * 1024}));
    server_.emplace([this](const HostileServer::Request& request) {
      if (!healthy_) return GetParam().behaviour;
      if (request.target.rfind("/v1/logging/visit", 0) == 0) ++logsTaken_;
      Json answer = Json::object();
      if (request.target.rfind("/v1/geocode/reverse_geocode", 0) == 0) {
        const auto body = Json::parse(request.body);
        const double latitude = body["points"].back().value("latitude", 0.0);
        const auto id = std::to_string(static_cast<long>(latitude * 10));
        answer = testing::placeJson("A" + id, "V" + id);
      }
      return HostileServer::Behaviour::answer(200, answer.dump());
    });
    TRNetworkClient::Hosts hosts;
    hosts.serviceApi = server_->url();
    client_->setHosts(hosts);
  }
  void TearDown() override {
    VisitTrackerTest::TearDown();
    server_.reset();
  }

  // Lets the operations in flight finish; false when they are still running after ten seconds.
  bool settle() {
    return runLoop().runUntil(
        [&] {
          const auto* queue = tracker_->nsOperationQueue();
          if (!queue) return true;
          const auto operations = queue->operations();
          return std::none_of(operations.begin(), operations.end(),
                              [](const auto& operation) { return operation->isExecuting(); });
        },
        10s);
  }

  std::optional<HostileServer> server_;
  std::atomic<bool> healthy_{true};
  std::atomic<int> logsTaken_{0};
};

TEST_P(HostileVisitTrackerTest, RetriesBackOffAndTheWorkSurvivesToTheNextSuccess) {
  resolveStayAt(40.5, -73.9);
  ASSERT_TRUE(settle());
  ASSERT_EQ(delegate_->events.size(), 1u);

  healthy_ = false;
  tracker_->endVisit(now());
  resolveStayAt(41.5, -73.9);
  ASSERT_TRUE(settle());
  EXPECT_GE(tracker_->failCount(), 2u);

  // Two hours at the keep-alive cadence: when attempts come, the waits between them grow.
  std::vector<double> attempts;
  std::size_t seen = server_->count("/v1/logging/visit");
  for (double t = 17; t <= 7200; t += 17) {
    advanceBy(17);
    tracker_->resendAllPendingOperations();
    ASSERT_TRUE(settle()) << "at " << t << " s";
    const auto logs = server_->count("/v1/logging/visit");
    if (logs > std::exchange(seen, logs)) attempts.push_back(t);
  }
  ASSERT_GE(attempts.size(), 3u);
  EXPECT_LE(attempts.size(), 8u);
  EXPECT_GT(attempts[0], 60.0);
  // Attempts start on the ticks, so a wait shows rounded up to the next tick.
  for (std::size_t i = 1; i < attempts.size(); ++i) {
    EXPECT_GT(attempts[i] - attempts[i - 1], 60.0) << "attempt " << i;
    if (i > 1) {
      EXPECT_GE(attempts[i] - attempts[i - 1], attempts[i - 1] - attempts[i - 2] - 17.0);
    }
  }
  EXPECT_EQ(server_->count("/v1/geocode/reverse_geocode"), 2 + attempts.size());
  EXPECT_EQ(savedOperationCount(), 2u) << "the failed work is kept in the file";
  EXPECT_EQ(delegate_->events.size(), 2u) << "the departure ended the visit all the same";

  // After a restart, a healthy service takes the work at once, and the log arrives once.
  healthy_ = true;
  restartTracker();
  ASSERT_TRUE(settle());
  EXPECT_EQ(savedOperationCount(), 0u);
  EXPECT_EQ(logsTaken_, 1);
  ASSERT_EQ(delegate_->events.size(), 3u);
  EXPECT_EQ(delegate_->events[2].kind, "start");
  EXPECT_EQ(delegate_->events[2].visit->cachedVisitId(), "A415V415");
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileVisitTrackerTest,
                         ::testing::ValuesIn(testing::hostileCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace trevalo
