#include "trevalo/platform/LinuxReachabilitySource.h"

#include <gtest/gtest.h>

#include "platform/NetworkSnapshot.h"

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
  bool wifiUp = true;
  bool modemUp = true;
  bool wifiHasAddress = true;
  std::vector<int> defaultRoutes{kEthernet};

  NetworkSnapshot snapshot() const {
    NetworkSnapshot s;
    s.interfaces = {{kLoopback, "lo", true, true, false, false},
                    {kEthernet, "eth0", ethernetUp, false, false, false},
                    {kWifi, "wlan0", wifiUp, false, true, false},
                    {kModem, "wwan0", modemUp, false, false, true}};
    s.addresses = {{kLoopback, {127, 0, 0, 1}, 8},
                   {kEthernet, {192, 168, 1, 20}, 24},
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
  } cases[] = {
      {"InternetOverWire", {}, internet, R},
      {"HostNamesFollowTheInternet", {}, *ReachabilityTarget::forHostName("api.trevalo.io"), R},
      {"DefaultRouteOverADownLink", {.ethernetUp = false}, internet, 0},
      {"NoDefaultRoute", {.defaultRoutes = {}}, internet, 0},
      {"UnknownRouteInterface", {.defaultRoutes = {99}}, internet, 0},
      {"OnlyCellular", {.defaultRoutes = {kModem}}, internet, R | W},
      {"CellularAndWire", {.defaultRoutes = {kModem, kEthernet}}, internet, R},
      {"CellularDownWireUp", {.modemUp = false, .defaultRoutes = {kModem, kEthernet}}, internet, R},
      {"LocalWiFiWithAddress", {}, localWiFi, R | D},
      {"LocalWiFiWithoutAddress", {.wifiHasAddress = false}, localWiFi, 0},
      {"LocalWiFiLinkDown", {.wifiUp = false}, localWiFi, 0},
      {"OwnAddress", {}, address({192, 168, 1, 20}), R | L | D},
      {"Loopback", {}, address({127, 0, 0, 1}), R | L | D},
      {"Neighbour", {}, address({192, 168, 1, 1}), R | D},
      {"NeighbourOverCellular", {}, address({100, 64, 3, 5}), R | D | W},
      {"JustOutsideTheSubnet", {}, address({192, 168, 2, 1}), R},
      {"NeighbourOnADownLink", {.ethernetUp = false}, address({192, 168, 1, 1}), 0},
      {"Remote", {}, address({8, 8, 8, 8}), R}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.machine.snapshot().flagsFor(c.target), c.flags) << c.name;
  }
}

TEST(NetworkSnapshotTest, OddPrefixLengthsAreMasked) {
  NetworkSnapshot s;
  s.interfaces = {{1, "eth0", true, false, false, false}};
  s.addresses = {{1, {10, 0, 0, 1}, 20}};
  EXPECT_EQ(s.flagsFor(ReachabilityTarget::forAddress({10, 0, 15, 200})), R | D);
  EXPECT_EQ(s.flagsFor(ReachabilityTarget::forAddress({10, 0, 16, 1})), 0u);
  s.addresses = {{1, {10, 0, 0, 1}, 99}};  // nonsense from the kernel reads as a host route
  EXPECT_EQ(s.flagsFor(ReachabilityTarget::forAddress({10, 0, 0, 2})), 0u);
}

// The result depends on the machine; what holds everywhere the tests run is that the kernel can
// be read, loopback is there, and nothing crashes or hangs.
TEST(LinuxReachabilitySourceTest, ReadsThisMachine) {
  const auto snapshot = NetworkSnapshot::read();
  ASSERT_TRUE(snapshot);
  EXPECT_TRUE(std::any_of(snapshot->interfaces.begin(), snapshot->interfaces.end(),
                          [](const auto& i) { return i.loopback && i.up; }));

  LinuxReachabilitySource source;
  EXPECT_EQ(source.flagsForTarget(ReachabilityTarget::forAddress({127, 0, 0, 1})), R | L | D);
  const auto internet = source.flagsForTarget(ReachabilityTarget::internet());
  ASSERT_TRUE(internet);
  EXPECT_EQ(*internet & ~(R | W), 0u);
  auto first = source.observeChanges([] {});
  auto second = source.observeChanges([] {});
  EXPECT_TRUE(first && second);
}

}  // namespace
}  // namespace trevalo::platform
