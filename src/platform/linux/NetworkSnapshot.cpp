#include "platform/linux/NetworkSnapshot.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/linux/NetlinkSocket.h"

namespace trevalo::platform {

namespace {

constexpr std::uint8_t kLinkLocalFirst = 169;
constexpr std::uint8_t kLinkLocalSecond = 254;

bool isLinkLocal(const ReachabilityTarget::IPv4Address& address) {
  return address[0] == kLinkLocalFirst && address[1] == kLinkLocalSecond;
}

bool inSubnet(const ReachabilityTarget::IPv4Address& address,
              const ReachabilityTarget::IPv4Address& network, int prefixLength) {
  int remaining = std::clamp(prefixLength, 0, 32);
  for (std::size_t i = 0; i < address.size() && remaining > 0; ++i, remaining -= 8) {
    const int bits = std::min(remaining, 8);
    const auto mask = static_cast<std::uint8_t>(0xFF00u >> bits);
    if ((address[i] & mask) != (network[i] & mask)) return false;
  }
  return true;
}

// Walks the attributes that follow a fixed message header.
template <class Visit>
void forEachAttribute(const rtattr* attribute, int length, Visit visit) {
  for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length))
    visit(*attribute);
}

template <class T>
std::optional<T> attributeValue(const rtattr& attribute) {
  if (RTA_PAYLOAD(&attribute) < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, RTA_DATA(&attribute), sizeof(T));
  return value;
}

// Interface names come from the kernel and never hold a '/', but they become parts of paths.
bool isSafeInterfaceName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

void describeFromSysfs(NetworkSnapshot::Interface& interface) {
  if (!isSafeInterfaceName(interface.name)) return;
  const std::filesystem::path device = std::filesystem::path("/sys/class/net") / interface.name;
  std::error_code ignored;
  interface.wireless = std::filesystem::exists(device / "wireless", ignored) ||
                       std::filesystem::exists(device / "phy80211", ignored);
  std::ifstream uevent(device / "uevent");
  for (std::string line; std::getline(uevent, line);) {
    if (line == "DEVTYPE=wwan") interface.cellular = true;
  }
}

void addLink(NetworkSnapshot& snapshot, const nlmsghdr& header) {
  if (header.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
  const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&header));
  NetworkSnapshot::Interface interface;
  interface.index = info->ifi_index;
  interface.up = (info->ifi_flags & IFF_UP) != 0 && (info->ifi_flags & IFF_RUNNING) != 0;
  interface.loopback = (info->ifi_flags & IFF_LOOPBACK) != 0;
  forEachAttribute(IFLA_RTA(info), static_cast<int>(IFLA_PAYLOAD(&header)), [&](const rtattr& a) {
    if (a.rta_type != IFLA_IFNAME) return;
    const auto* text = static_cast<const char*>(RTA_DATA(&a));
    interface.name.assign(text, strnlen(text, RTA_PAYLOAD(&a)));
  });
  describeFromSysfs(interface);
  snapshot.interfaces.push_back(std::move(interface));
}

void addAddress(NetworkSnapshot& snapshot, const nlmsghdr& header) {
  if (header.nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) return;
  const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(&header));
  if (info->ifa_family != AF_INET) return;
  std::optional<ReachabilityTarget::IPv4Address> local;
  std::optional<ReachabilityTarget::IPv4Address> peer;
  forEachAttribute(IFA_RTA(info), static_cast<int>(IFA_PAYLOAD(&header)), [&](const rtattr& a) {
    if (a.rta_type == IFA_LOCAL) local = attributeValue<ReachabilityTarget::IPv4Address>(a);
    if (a.rta_type == IFA_ADDRESS) peer = attributeValue<ReachabilityTarget::IPv4Address>(a);
  });
  // On point-to-point links IFA_ADDRESS is the far end; IFA_LOCAL is always this machine's.
  const auto address = local ? local : peer;
  if (!address) return;
  snapshot.addresses.push_back({static_cast<int>(info->ifa_index), *address, info->ifa_prefixlen});
}

void addRoute(NetworkSnapshot& snapshot, const nlmsghdr& header) {
  if (header.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return;
  const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(&header));
  if (info->rtm_dst_len != 0 || info->rtm_type != RTN_UNICAST) return;
  std::uint32_t table = info->rtm_table;
  std::vector<int> outputs;
  forEachAttribute(RTM_RTA(info), static_cast<int>(RTM_PAYLOAD(&header)), [&](const rtattr& a) {
    if (a.rta_type == RTA_TABLE) table = attributeValue<std::uint32_t>(a).value_or(table);
    if (a.rta_type == RTA_OIF) {
      if (const auto index = attributeValue<int>(a)) outputs.push_back(*index);
    }
    if (a.rta_type == RTA_MULTIPATH) {
      // Equal-cost routes list their next hops, each with its own interface.
      const auto* hop = static_cast<const rtnexthop*>(RTA_DATA(&a));
      auto remaining = static_cast<int>(RTA_PAYLOAD(&a));
      while (remaining >= static_cast<int>(sizeof(rtnexthop)) &&
             hop->rtnh_len >= sizeof(rtnexthop) && hop->rtnh_len <= remaining) {
        outputs.push_back(hop->rtnh_ifindex);
        remaining -= RTNH_ALIGN(hop->rtnh_len);
        hop = RTNH_NEXT(hop);
      }
    }
  });
  if (table != RT_TABLE_MAIN) return;
  snapshot.defaultRouteInterfaces.insert(snapshot.defaultRouteInterfaces.end(), outputs.begin(),
                                         outputs.end());
}

}  // namespace

std::optional<NetworkSnapshot> NetworkSnapshot::read() {
  auto socket = NetlinkSocket::open(0);
  if (!socket) return std::nullopt;
  // A dump that the kernel interrupts (the tables changed meanwhile) is taken again.
  constexpr int kAttempts = 3;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    NetworkSnapshot snapshot;
    const bool complete =
        socket->dump(RTM_GETLINK, AF_UNSPEC, [&](const nlmsghdr& h) { addLink(snapshot, h); }) &&
        socket->dump(RTM_GETADDR, AF_INET, [&](const nlmsghdr& h) { addAddress(snapshot, h); }) &&
        socket->dump(RTM_GETROUTE, AF_INET, [&](const nlmsghdr& h) { addRoute(snapshot, h); }) &&
        socket->dump(RTM_GETROUTE, AF_INET6, [&](const nlmsghdr& h) { addRoute(snapshot, h); });
    if (complete) return snapshot;
  }
  return std::nullopt;
}

const NetworkSnapshot::Interface* NetworkSnapshot::interfaceWithIndex(int index) const {
  const auto it = std::find_if(interfaces.begin(), interfaces.end(),
                               [index](const Interface& i) { return i.index == index; });
  return it == interfaces.end() ? nullptr : &*it;
}

bool NetworkSnapshot::isUp(int index) const {
  const Interface* interface = interfaceWithIndex(index);
  return interface && interface->up;
}

ReachabilitySource::Flags NetworkSnapshot::internetFlags() const {
  bool cellularOnly = true;
  bool any = false;
  for (const int index : defaultRouteInterfaces) {
    const Interface* interface = interfaceWithIndex(index);
    if (!interface || !interface->up || interface->loopback) continue;
    any = true;
    cellularOnly = cellularOnly && interface->cellular;
  }
  if (!any) return 0;
  return ReachabilitySource::kReachable | (cellularOnly ? ReachabilitySource::kIsWWAN : 0);
}

ReachabilitySource::Flags NetworkSnapshot::localLinkFlags() const {
  for (const auto& address : addresses) {
    const Interface* interface = interfaceWithIndex(address.interfaceIndex);
    if (interface && interface->up && interface->wireless) {
      return ReachabilitySource::kReachable | ReachabilitySource::kIsDirect;
    }
  }
  return 0;
}

ReachabilitySource::Flags NetworkSnapshot::flagsFor(const ReachabilityTarget& target) const {
  if (target.isHostName()) return internetFlags();
  const auto& wanted = target.address();
  if (wanted == ReachabilityTarget::IPv4Address{0, 0, 0, 0}) return internetFlags();
  if (isLinkLocal(wanted)) return localLinkFlags();
  ReachabilitySource::Flags direct = 0;
  for (const auto& address : addresses) {
    if (!isUp(address.interfaceIndex)) continue;
    if (address.address == wanted) {
      return ReachabilitySource::kReachable | ReachabilitySource::kIsLocalAddress |
             ReachabilitySource::kIsDirect;
    }
    if (direct == 0 && inSubnet(wanted, address.address, address.prefixLength)) {
      const bool cellular = interfaceWithIndex(address.interfaceIndex)->cellular;
      direct = ReachabilitySource::kReachable | ReachabilitySource::kIsDirect |
               (cellular ? ReachabilitySource::kIsWWAN : 0);
    }
  }
  return direct != 0 ? direct : internetFlags();
}

}  // namespace trevalo::platform
