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

TEST(ReachabilityRuleTest, NetworkAndLocalWiFiRules) {
  constexpr NetworkStatus kNone = NetworkStatusNotReachable;
  constexpr NetworkStatus kWiFi = NetworkStatusViaWiFi;
  constexpr NetworkStatus kCellular = NetworkStatusViaCellular;
  const struct {
    Source::Flags flags;
    NetworkStatus network;
    NetworkStatus localWiFi;
  } cases[] = {{0x0, kNone, kNone},
               {0x2, kWiFi, kNone},
               {0x2 | 0x4, kNone, kNone},
               {0x2 | 0x4 | 0x8, kWiFi, kNone},
               {0x2 | 0x4 | 0x20, kWiFi, kNone},
               {0x2 | 0x4 | 0x8 | 0x10, kNone, kNone},
               // Intervention only blocks the automatic connection; without "required" it is WiFi.
               {0x2 | 0x8 | 0x10, kWiFi, kNone},
               {0x2 | 0x40000, kCellular, kNone},
               {0x2 | 0x4 | 0x40000, kCellular, kNone},
               {0x40000, kNone, kNone},
               {0x8 | 0x20, kNone, kNone},
               {0x2 | 0x20000, kWiFi, kWiFi},
               {0x20000, kNone, kNone},
               {0x2 | 0x4 | 0x20000, kNone, kWiFi}};
  for (const auto& c : cases) {
    EXPECT_EQ(Reachability::networkStatusForFlags(c.flags), c.network) << std::hex << c.flags;
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(c.flags), c.localWiFi) << std::hex << c.flags;
  }
}

class ReachabilityTest : public testing::PlatformTest {
 protected:
  platform::SimulatedReachabilitySource& source() const {
    return platform().simulatedReachabilitySource();
  }
};

TEST_F(ReachabilityTest, EachRuleWritesItsDiagnosticLine) {
  std::vector<std::string> lines;
  TRLogger::instance()->setSink(
      [&](std::string_view message, std::string_view, double) { lines.emplace_back(message); });
  Reachability::networkStatusForFlags(0x2);
  Reachability::localWiFiStatusForFlags(0x1 | 0x4 | 0x8 | 0x10 | 0x20 | 0x10000 | 0x20000 |
                                        0x40000 | 0x2);
  Reachability::networkStatusForFlags(0x0);
  TRLogger::instance()->setSink(nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{
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
