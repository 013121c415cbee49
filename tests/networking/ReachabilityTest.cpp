#include "trevalo/networking/Reachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/utils/TRLogger.h"

namespace trevalo {
namespace {

using Source = platform::ReachabilitySource;
using platform::ReachabilityTarget;

struct RuleCase {
  Source::Flags flags;
  NetworkStatus network;
  NetworkStatus localWiFi;
};

class ReachabilityRuleTest : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ReachabilityRuleTest, BothRules) {
  const auto& c = GetParam();
  EXPECT_EQ(Reachability::networkStatusForFlags(c.flags), c.network);
  EXPECT_EQ(Reachability::localWiFiStatusForFlags(c.flags), c.localWiFi);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, ReachabilityRuleTest,
    ::testing::Values(
        RuleCase{0x0, NetworkStatusNotReachable, NetworkStatusNotReachable},
        RuleCase{0x2, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x4, NetworkStatusNotReachable, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x4 | 0x8, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x4 | 0x20, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x4 | 0x8 | 0x10, NetworkStatusNotReachable, NetworkStatusNotReachable},
        // Intervention only blocks the automatic connection; without "required" it is WiFi.
        RuleCase{0x2 | 0x8 | 0x10, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x40000, NetworkStatusViaCellular, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x4 | 0x40000, NetworkStatusViaCellular, NetworkStatusNotReachable},
        RuleCase{0x40000, NetworkStatusNotReachable, NetworkStatusNotReachable},
        RuleCase{0x8 | 0x20, NetworkStatusNotReachable, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x20000, NetworkStatusViaWiFi, NetworkStatusViaWiFi},
        RuleCase{0x20000, NetworkStatusNotReachable, NetworkStatusNotReachable},
        RuleCase{0x2 | 0x4 | 0x20000, NetworkStatusNotReachable, NetworkStatusViaWiFi}));

class ReachabilityTest : public testing::PlatformTest {
 protected:
  void TearDown() override {
    TRLogger::instance()->setSink(nullptr);
    PlatformTest::TearDown();
  }
  platform::SimulatedReachabilitySource& source() const {
    return platform().simulatedReachabilitySource();
  }
  void captureLog() {
    lines_.clear();
    TRLogger::instance()->setSink([this](std::string_view message, std::string_view, double) {
      lines_.emplace_back(message);
    });
  }
  std::vector<std::string> lines_;
};

TEST_F(ReachabilityTest, EachRuleWritesItsDiagnosticLine) {
  captureLog();
  Reachability::networkStatusForFlags(0x2);
  Reachability::localWiFiStatusForFlags(0x1 | 0x4 | 0x8 | 0x10 | 0x20 | 0x10000 | 0x20000 |
                                        0x40000 | 0x2);
  Reachability::networkStatusForFlags(0x0);
  EXPECT_EQ(lines_, (std::vector<std::string>{
                        "Reachability Flag Status: -R ------- networkStatusForFlags",
                        "Reachability Flag Status: WR tcCiDld localWiFiStatusForFlags",
                        "Reachability Flag Status: -- ------- networkStatusForFlags",
                    }));
}

TEST_F(ReachabilityTest, MonitorsReadTheirOwnTargetsAndRules) {
  source().setFlagsForTarget(ReachabilityTarget::internet(), 0x2 | 0x40000);
  source().setFlagsForTarget(ReachabilityTarget::localWiFi(), 0x2 | 0x20000);
  const auto internet = Reachability::reachabilityForInternetConnection();
  const auto wifi = Reachability::reachabilityForLocalWiFi();
  ASSERT_TRUE(internet && wifi);
  EXPECT_FALSE(internet->alwaysReturnLocalWiFiStatus());
  EXPECT_TRUE(wifi->alwaysReturnLocalWiFiStatus());
  EXPECT_EQ(internet->currentReachabilityStatus(), NetworkStatusViaCellular);
  EXPECT_EQ(wifi->currentReachabilityStatus(), NetworkStatusViaWiFi);

  // The local rule applies to the local monitor even for flags the network rule would accept.
  source().setFlagsForTarget(ReachabilityTarget::localWiFi(), 0x2);
  EXPECT_EQ(wifi->currentReachabilityStatus(), NetworkStatusNotReachable);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, "10.1.2.3", &address.sin_addr);
  const auto byAddress = Reachability::reachabilityWithAddress(address);
  ASSERT_TRUE(byAddress);
  EXPECT_EQ(byAddress->target(), ReachabilityTarget::forAddress({10, 1, 2, 3}));
  source().setFlagsForTarget(byAddress->target(), 0x2 | 0x4);
  EXPECT_EQ(byAddress->currentReachabilityStatus(), NetworkStatusNotReachable);
  EXPECT_TRUE(byAddress->connectionRequired());

  address.sin_family = AF_INET6;
  EXPECT_FALSE(Reachability::reachabilityWithAddress(address));
  EXPECT_TRUE(Reachability::reachabilityWithHostName("api.trevalo.io"));
  for (const std::string& bad :
       std::vector<std::string>{"", "a..b", "bad host", std::string(300, 'a'), "x/y"}) {
    EXPECT_FALSE(Reachability::reachabilityWithHostName(bad)) << bad;
  }
}

TEST_F(ReachabilityTest, UnreadableFlagsMeanNotReachableAndNoConnectionRequired) {
  source().setDefaultFlags(std::nullopt);
  for (const auto& monitor : {Reachability::reachabilityForInternetConnection(),
                              Reachability::reachabilityForLocalWiFi()}) {
    EXPECT_EQ(monitor->currentReachabilityStatus(), NetworkStatusNotReachable);
    EXPECT_FALSE(monitor->connectionRequired());
  }
}

TEST_F(ReachabilityTest, ChangesArePostedOnTheRunLoopWithTheMonitorThatSawThem) {
  const auto internet = Reachability::reachabilityForInternetConnection();
  const auto wifi = Reachability::reachabilityForLocalWiFi();
  std::vector<std::pair<std::shared_ptr<Reachability>, NetworkStatus>> posted;
  bool onRunLoop = true;
  auto observation = platform().notificationCenter().addObserver(
      kReachabilityChangedNotification, [&](const platform::Notification& n) {
        const auto monitor = std::any_cast<std::shared_ptr<Reachability>>(n.object);
        posted.emplace_back(monitor, monitor->currentReachabilityStatus());
        onRunLoop = onRunLoop && runLoop().isCurrent();
      });
  ASSERT_TRUE(internet->startNotifier());
  ASSERT_TRUE(internet->startNotifier());  // once is enough; twice changes nothing
  ASSERT_TRUE(wifi->startNotifier());

  source().setFlagsForTarget(ReachabilityTarget::internet(), 0x0);
  EXPECT_TRUE(posted.empty());  // posted by the run loop, not by the changing thread
  runUntilIdle();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].first, internet);
  EXPECT_EQ(posted[0].second, NetworkStatusNotReachable);

  // A signal without a change, or a burst of signals, posts at most once per change.
  source().signalChange();
  source().setFlagsForTarget(ReachabilityTarget::internet(), 0x2 | 0x40000);
  source().setFlagsForTarget(ReachabilityTarget::internet(), 0x2);
  source().setFlagsForTarget(ReachabilityTarget::localWiFi(), 0x2 | 0x20000);
  runUntilIdle();
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[1].first, internet);
  EXPECT_EQ(posted[1].second, NetworkStatusViaWiFi);
  EXPECT_EQ(posted[2].first, wifi);
  EXPECT_EQ(posted[2].second, NetworkStatusViaWiFi);
  EXPECT_TRUE(onRunLoop);

  internet->stopNotifier();
  source().setFlagsForTarget(ReachabilityTarget::internet(), 0x0);
  runUntilIdle();
  EXPECT_EQ(posted.size(), 3u);
}

TEST_F(ReachabilityTest, DestructionStopsTheNotifierEvenWithACheckQueued) {
  int posted = 0;
  auto observation = platform().notificationCenter().addObserver(
      kReachabilityChangedNotification, [&](const platform::Notification&) { ++posted; });
  auto monitor = Reachability::reachabilityForInternetConnection();
  ASSERT_TRUE(monitor->startNotifier());
  source().setDefaultFlags(0x0);
  monitor.reset();
  source().setDefaultFlags(0x2);
  runUntilIdle();
  EXPECT_EQ(posted, 0);
}

TEST_F(ReachabilityTest, ANotifierCannotStartWhereChangesCannotBeWatched) {
  source().setCanObserveChanges(false);
  const auto monitor = Reachability::reachabilityForInternetConnection();
  EXPECT_FALSE(monitor->startNotifier());
  EXPECT_EQ(monitor->currentReachabilityStatus(), NetworkStatusViaWiFi);
}

}  // namespace
}  // namespace trevalo
