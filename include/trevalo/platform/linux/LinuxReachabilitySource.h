#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "trevalo/platform/NotificationCenter.h"
#include "trevalo/platform/ReachabilitySource.h"

namespace trevalo::platform {

class NetlinkSocket;

// Reachability from the Linux kernel's routing tables. Each question reads the interfaces,
// their IPv4 addresses and the default routes afresh (rtnetlink) and derives the flags:
//  - the internet (0.0.0.0, and any host name, which is not resolved) is reachable when a
//    default route leaves through an interface that is up; cellular (kIsWWAN) when only
//    wireless-WAN interfaces carry one;
//  - the link-local network (169.254.0.0/16) is reachable and direct when a wireless interface
//    that is up has an IPv4 address, link-local or routable;
//  - any other address is local and direct when this machine has it, direct when it lies in a
//    connected subnet, and otherwise as reachable as the internet.
// Changes are watched on a thread of the source's own, started by the first observer, on the
// link, address and route event groups; handlers run on that thread.
class LinuxReachabilitySource final : public ReachabilitySource {
 public:
  LinuxReachabilitySource();
  ~LinuxReachabilitySource() override;

  std::optional<Flags> flagsForTarget(const ReachabilityTarget& target) const override;
  [[nodiscard]] std::optional<NotificationCenter::Observation> observeChanges(
      ChangeHandler handler) override;

 private:
  bool startWatching();
  void watch(NetlinkSocket& socket, int wake);

  static constexpr const char* kChanged = "LinuxReachabilityChanged";

  NotificationCenter changes_;
  std::mutex mutex_;
  struct Watcher;
  std::unique_ptr<Watcher> watcher_;
  bool watchingFailed_ = false;
};

}  // namespace trevalo::platform
