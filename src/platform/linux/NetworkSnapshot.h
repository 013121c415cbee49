#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/platform/ReachabilitySource.h"
#include "trevalo/platform/ReachabilityTarget.h"

namespace trevalo::platform {

// The machine's network configuration as far as reachability needs it: the interfaces, their
// IPv4 addresses and the interfaces that default routes leave through. `read` takes it from
// the kernel (rtnetlink) and sysfs; `flagsFor` derives the flags of a target from it, so the
// rules can be checked on configurations made by hand.
class NetworkSnapshot {
 public:
  struct Interface {
    int index = 0;
    std::string name;
    bool up = false;  // administratively up and with a working link
    bool loopback = false;
    bool wireless = false;
    bool cellular = false;
  };
  struct Address {
    int interfaceIndex = 0;
    ReachabilityTarget::IPv4Address address{};
    int prefixLength = 0;
  };

  std::vector<Interface> interfaces;
  std::vector<Address> addresses;
  // Output interfaces of the unicast default routes (IPv4 and IPv6) of the main table.
  std::vector<int> defaultRouteInterfaces;

  // Nothing when the kernel cannot be asked.
  static std::optional<NetworkSnapshot> read();

  // The internet (the zero address, or any host name: names are not resolved) is reachable when
  // a default route leaves through an interface that is up, flagged cellular when only cellular
  // interfaces carry one. The link-local network is reachable and direct when a wireless
  // interface that is up has an IPv4 address. Another address is local when an interface that
  // is up has it, direct when it lies in the subnet of one, and otherwise as reachable as the
  // internet.
  ReachabilitySource::Flags flagsFor(const ReachabilityTarget& target) const;

 private:
  const Interface* interfaceWithIndex(int index) const;
  bool isUp(int index) const;
  ReachabilitySource::Flags internetFlags() const;
  ReachabilitySource::Flags localLinkFlags() const;
};

}  // namespace trevalo::platform
