#include "trevalo/platform/linux/LinuxReachabilitySource.h"

#include <linux/rtnetlink.h>
#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/EventDescriptor.h"
#include "platform/linux/NetlinkSocket.h"
#include "platform/linux/NetworkSnapshot.h"

namespace trevalo::platform {

namespace {

constexpr std::uint32_t kEventGroups =
    RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE;

}  // namespace

struct LinuxReachabilitySource::Watcher {
  explicit Watcher(NetlinkSocket netlink) : socket(std::move(netlink)) {}

  NetlinkSocket socket;
  EventDescriptor wake;
  std::thread thread;
};

LinuxReachabilitySource::LinuxReachabilitySource() = default;

LinuxReachabilitySource::~LinuxReachabilitySource() {
  std::unique_ptr<Watcher> watcher;
  {
    const std::lock_guard lock(mutex_);
    watcher = std::move(watcher_);
  }
  if (!watcher) return;
  watcher->wake.signal();
  watcher->thread.join();
}

std::optional<ReachabilitySource::Flags> LinuxReachabilitySource::flagsForTarget(
    const ReachabilityTarget& target) const {
  const auto snapshot = NetworkSnapshot::read();
  if (!snapshot) return std::nullopt;
  return snapshot->flagsFor(target);
}

std::optional<NotificationCenter::Observation> LinuxReachabilitySource::observeChanges(
    ChangeHandler handler) {
  if (!handler || !startWatching()) return std::nullopt;
  return changes_.addObserver(kChanged,
                              [handler = std::move(handler)](const Notification&) { handler(); });
}

bool LinuxReachabilitySource::startWatching() {
  const std::lock_guard lock(mutex_);
  if (watcher_) return true;
  if (watchingFailed_) return false;
  auto socket = NetlinkSocket::open(kEventGroups);
  auto watcher = socket ? std::make_unique<Watcher>(std::move(*socket)) : nullptr;
  if (!watcher || !watcher->wake.valid()) {
    watchingFailed_ = true;
    return false;
  }
  // The watcher outlives its thread: the destructor joins the thread before releasing it.
  watcher->thread = std::thread(
      [this, netlink = watcher.get()] { watch(netlink->socket, netlink->wake.descriptor()); });
  watcher_ = std::move(watcher);
  return true;
}

void LinuxReachabilitySource::watch(NetlinkSocket& socket, int wake) {
  for (;;) {
    pollfd descriptors[2] = {{socket.descriptor(), POLLIN, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(descriptors, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (descriptors[1].revents != 0 || (descriptors[0].revents & POLLNVAL) != 0) return;
    // POLLERR is how an overflow (ENOBUFS) shows; reading clears it and counts as a change.
    if (socket.drainEvents()) changes_.postNotificationName(kChanged);
  }
}

}  // namespace trevalo::platform
