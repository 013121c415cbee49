#pragma once

#include <linux/netlink.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trevalo::platform {

// One wireless interface as the kernel's nl80211 describes it in answer to a request for its
// interfaces: index, name, type (an NL80211_IFTYPE_ value) and, while it is connected to a
// network, that network's name (SSID, up to 32 bytes of any value).
struct WirelessInterface {
  std::uint32_t index = 0;
  std::string name;
  std::uint32_t type = 0;
  std::string ssid;  // empty while not connected

  // The interface described by one nl80211 message (NL80211_CMD_NEW_INTERFACE); nothing when
  // the message is another one, is malformed or lacks the interface index.
  static std::optional<WirelessInterface> fromMessage(nlmsghdr* message);

  // The network name of the first (lowest index) interface connected to a network as a client
  // (a station or a P2P client); nothing when none is.
  static std::optional<std::string> connectedNetworkName(
      const std::vector<WirelessInterface>& interfaces);

  // An SSID as text: its bytes where they are UTF-8, U+FFFD for each byte that is not, so the
  // name can go anywhere text goes (JSON among others).
  static std::string text(std::string_view ssid);
};

}  // namespace trevalo::platform
