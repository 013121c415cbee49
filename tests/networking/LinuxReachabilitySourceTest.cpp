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

struct SnapshotCase {
  const char* name;
  Machine machine;
  ReachabilityTarget target;
  Flags flags;
};

class NetworkSnapshotTest : public ::testing::TestWithParam<SnapshotCase> {};

TEST_P(NetworkSnapshotTest, DerivesTheFlagsOfATarget) {
  EXPECT_EQ(GetParam().machine.snapshot().flagsFor(GetParam().target), GetParam().flags);
}

const auto kInternet = ReachabilityTarget::internet();
const auto kLocalWiFi = ReachabilityTarget::localWiFi();
const auto kHost = *ReachabilityTarget::forHostName("api.trevalo.io");

INSTANTIATE_TEST_SUITE_P(
    Rules, NetworkSnapshotTest,
    ::testing::Values(
        SnapshotCase{"InternetOverWire", {}, kInternet, R},
        SnapshotCase{"HostNamesFollowTheInternet", {}, kHost, R},
        SnapshotCase{"DefaultRouteOverADownLink", {.ethernetUp = false}, kInternet, 0},
        SnapshotCase{"NoDefaultRoute", {.defaultRoutes = {}}, kInternet, 0},
        SnapshotCase{"UnknownRouteInterface", {.defaultRoutes = {99}}, kInternet, 0},
        SnapshotCase{"OnlyCellular", {.defaultRoutes = {kModem}}, kInternet, R | W},
        SnapshotCase{"CellularAndWire", {.defaultRoutes = {kModem, kEthernet}}, kInternet, R},
        SnapshotCase{"CellularDownWireUp",
                     {.modemUp = false, .defaultRoutes = {kModem, kEthernet}},
                     kInternet,
                     R},
        SnapshotCase{"LocalWiFiWithAddress", {}, kLocalWiFi, R | D},
        SnapshotCase{"LocalWiFiWithoutAddress", {.wifiHasAddress = false}, kLocalWiFi, 0},
        SnapshotCase{"LocalWiFiLinkDown", {.wifiUp = false}, kLocalWiFi, 0},
        SnapshotCase{
            "OwnAddress", {}, ReachabilityTarget::forAddress({192, 168, 1, 20}), R | L | D},
        SnapshotCase{"Loopback", {}, ReachabilityTarget::forAddress({127, 0, 0, 1}), R | L | D},
        SnapshotCase{"Neighbour", {}, ReachabilityTarget::forAddress({192, 168, 1, 1}), R | D},
        SnapshotCase{"NeighbourOverCellular",
                     {},
                     ReachabilityTarget::forAddress({100, 64, 3, 5}),
                     R | D | W},
        SnapshotCase{
            "JustOutsideTheSubnet", {}, ReachabilityTarget::forAddress({192, 168, 2, 1}), R},
        SnapshotCase{"NeighbourOnADownLink",
                     {.ethernetUp = false},
                     ReachabilityTarget::forAddress({192, 168, 1, 1}),
                     0},
        SnapshotCase{"Remote", {}, ReachabilityTarget::forAddress({8, 8, 8, 8}), R}),
    [](const auto& info) { return std::string(info.param.name); });

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
