#include "networking/Reachability.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/NetworkSnapshot.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/linux/LinuxReachabilitySource.h"

namespace trevalo {
namespace {

using platform::ReachabilityTarget;

TEST(ReachabilityRuleTest, NetworkAndLocalWiFiRules) {
  constexpr auto kNone = NetworkStatusNotReachable;
  const struct {
    platform::ReachabilitySource::Flags flags;
    NetworkStatus network;
    NetworkStatus localWiFi;
  } cases[] = {{0x0, kNone, kNone},
               {0x2 | 0x4, kNone, kNone},
               {0x2 | 0x4 | 0x8, NetworkStatusViaWiFi, kNone},
               {0x2 | 0x4 | 0x8 | 0x10, kNone, kNone},
               // Intervention only blocks the automatic connection; without "required" it is WiFi.
               {0x2 | 0x8 | 0x10, NetworkStatusViaWiFi, kNone},
               {0x2 | 0x40000, NetworkStatusViaCellular, kNone},
               {0x2 | 0x20000, NetworkStatusViaWiFi, NetworkStatusViaWiFi},
               {0x2 | 0x4 | 0x20000, kNone, NetworkStatusViaWiFi}};
  for (const auto& c : cases) {
    EXPECT_EQ(Reachability::networkStatusForFlags(c.flags), c.network) << std::hex << c.flags;
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(c.flags), c.localWiFi) << std::hex << c.flags;
  }
}

using ReachabilityTest = testing::PlatformTest;

TEST_F(ReachabilityTest, ChangesArePostedOnTheRunLoopOncePerChangeWithTheMonitorThatSawThem) {
  auto& source = platform().simulatedReachabilitySource();
  const auto internet = Reachability::reachabilityForInternetConnection();
  const auto wifi = Reachability::reachabilityForLocalWiFi();
  using Posted = std::vector<std::pair<std::shared_ptr<Reachability>, NetworkStatus>>;
  Posted posted;
  auto observation = platform().notificationCenter().addObserver(
      kReachabilityChangedNotification, [&](const platform::Notification& n) {
        const auto monitor = std::any_cast<std::shared_ptr<Reachability>>(n.object);
        posted.emplace_back(monitor, monitor->currentReachabilityStatus());
        EXPECT_TRUE(runLoop().isCurrent());
      });
  ASSERT_TRUE(internet->startNotifier());
  ASSERT_TRUE(wifi->startNotifier());

  source.setFlagsForTarget(ReachabilityTarget::internet(), 0x0);
  EXPECT_TRUE(posted.empty());  // posted by the run loop, not by the changing thread
  runUntilIdle();
  // A signal without a change, or a burst of signals, posts at most once per change.
  source.signalChange();
  source.setFlagsForTarget(ReachabilityTarget::internet(), 0x2 | 0x40000);
  source.setFlagsForTarget(ReachabilityTarget::internet(), 0x2);
  source.setFlagsForTarget(ReachabilityTarget::localWiFi(), 0x2 | 0x20000);
  runUntilIdle();
  // Stopped, or gone with a check already queued: nothing more is posted.
  internet->stopNotifier();
  auto gone = Reachability::reachabilityForInternetConnection();
  ASSERT_TRUE(gone->startNotifier());
  source.setFlagsForTarget(ReachabilityTarget::internet(), 0x0);
  gone.reset();
  runUntilIdle();
  EXPECT_EQ(posted, (Posted{{internet, NetworkStatusNotReachable},
                            {internet, NetworkStatusViaWiFi},
                            {wifi, NetworkStatusViaWiFi}}));
}

}  // namespace
}  // namespace trevalo

namespace trevalo::platform {
namespace {

using Flags = ReachabilitySource::Flags;
constexpr Flags R = ReachabilitySource::kReachable;
constexpr Flags D = ReachabilitySource::kIsDirect;
constexpr Flags L = ReachabilitySource::kIsLocalAddress;
constexpr Flags W = ReachabilitySource::kIsWWAN;

enum Interface { kLoopback = 1, kEthernet = 2, kWifi = 3, kModem = 4 };

// A laptop-like machine: loopback, a wired link, a Wi-Fi link and a cellular modem.
struct Machine {
  bool ethernetUp = true;
  bool wifiHasAddress = true;
  int ethernetPrefix = 24;
  std::vector<int> defaultRoutes{kEthernet};

  NetworkSnapshot snapshot() const {
    NetworkSnapshot s;
    s.interfaces = {{kLoopback, "lo", true, true, false, false},
                    {kEthernet, "eth0", ethernetUp, false, false, false},
                    {kWifi, "wlan0", true, false, true, false},
                    {kModem, "wwan0", true, false, false, true}};
    s.addresses = {{kLoopback, {127, 0, 0, 1}, 8},
                   {kEthernet, {192, 168, 1, 20}, ethernetPrefix},
                   {kModem, {100, 64, 3, 4}, 30}};
    if (wifiHasAddress) s.addresses.push_back({kWifi, {169, 254, 7, 7}, 16});
    s.defaultRouteInterfaces = defaultRoutes;
    return s;
  }
};

TEST(NetworkSnapshotTest, DerivesTheFlagsOfATarget) {
  const auto internet = ReachabilityTarget::internet();
  const auto localWiFi = ReachabilityTarget::localWiFi();
  const auto address = [](ReachabilityTarget::IPv4Address bytes) {
    return ReachabilityTarget::forAddress(bytes);
  };
  const struct {
    const char* name;
    Machine machine;
    ReachabilityTarget target;
    Flags flags;
  } cases[] = {{"InternetOverWire", {}, internet, R},
               {"DefaultRouteOverADownLink", {.ethernetUp = false}, internet, 0},
               {"NoDefaultRoute", {.defaultRoutes = {}}, internet, 0},
               {"OnlyCellular", {.defaultRoutes = {kModem}}, internet, R | W},
               {"LocalWiFiWithAddress", {}, localWiFi, R | D},
               {"LocalWiFiWithoutAddress", {.wifiHasAddress = false}, localWiFi, 0},
               {"OwnAddress", {}, address({192, 168, 1, 20}), R | L | D},
               {"NeighbourOverCellular", {}, address({100, 64, 3, 5}), R | D | W},
               {"Remote", {}, address({8, 8, 8, 8}), R},
               {"OddPrefix", {.ethernetPrefix = 20}, address({192, 168, 15, 200}), R | D},
               // Nonsense from the kernel reads as a host route.
               {"NonsensePrefix", {.ethernetPrefix = 99}, address({192, 168, 1, 1}), R}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.machine.snapshot().flagsFor(c.target), c.flags) << c.name;
  }
}

// The result depends on the machine; what holds everywhere the tests run is that the kernel can
// be read, loopback is up, and nothing crashes or hangs.
TEST(LinuxReachabilitySourceTest, ReadsThisMachine) {
  LinuxReachabilitySource source;
  EXPECT_EQ(source.flagsForTarget(ReachabilityTarget::forAddress({127, 0, 0, 1})), R | L | D);
  const auto internet = source.flagsForTarget(ReachabilityTarget::internet());
  ASSERT_TRUE(internet);
  EXPECT_EQ(*internet & ~(R | W), 0u);
  EXPECT_TRUE(source.observeChanges([] {}));
}

}  // namespace
}  // namespace trevalo::platform
