#pragma once

#include <memory>
#include <optional>
#include <string>

#include "trevalo/platform/TextSource.h"

namespace trevalo::platform {

// The name of the Wi-Fi network this machine is on, from the Linux kernel (nl80211): the SSID
// of the first wireless interface connected to a network as a client (lowest interface index
// first); nothing when none is connected or the machine has no wireless interface. Bytes of
// the name that are not UTF-8 read as U+FFFD.
//
// The name is cached. The first read asks the kernel and starts a thread of its own that
// watches the kernel's link events and nl80211's interface and connection events and asks
// again when one comes (and once a minute, in case one was missed), so a read costs a lock and
// a copy.
class LinuxWifiNetworkName {
 public:
  static constexpr double kSafetyRefreshSeconds = 60.0;

  LinuxWifiNetworkName();
  ~LinuxWifiNetworkName();
  LinuxWifiNetworkName(const LinuxWifiNetworkName&) = delete;
  LinuxWifiNetworkName& operator=(const LinuxWifiNetworkName&) = delete;

  std::optional<std::string> current();
  // Asks the kernel now instead of waiting for its next event.
  void refresh();

  // A source for the platform's services that reads `name`, keeping it alive.
  static TextSource source(std::shared_ptr<LinuxWifiNetworkName> name);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace trevalo::platform
