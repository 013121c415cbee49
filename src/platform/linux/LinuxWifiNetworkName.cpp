#include "trevalo/platform/linux/LinuxWifiNetworkName.h"

#include <linux/rtnetlink.h>
#include <poll.h>

#include <cerrno>
#include <cmath>
#include <mutex>
#include <thread>

#include "platform/EventDescriptor.h"
#include "platform/linux/NetlinkSocket.h"
#include "platform/linux/Nl80211Socket.h"

namespace trevalo::platform {

struct LinuxWifiNetworkName::State {
  // The cached name.
  std::mutex mutex;
  std::optional<std::string> name;

  // Requests to the kernel, one at a time.
  std::mutex kernelMutex;
  std::optional<Nl80211Socket> requests;

  std::once_flag started;
  EventDescriptor stop;
  std::thread watcher;

  void refresh();
  void watch(std::optional<NetlinkSocket> links, std::optional<Nl80211Socket> wireless);
};

void LinuxWifiNetworkName::State::refresh() {
  std::optional<std::string> found;
  {
    const std::lock_guard lock(kernelMutex);
    // Without nl80211 now, the family may come later (a driver loaded): ask again each time.
    if (!requests) requests = Nl80211Socket::forRequests();
    if (requests) {
      if (const auto interfaces = requests->interfaces()) {
        found = WirelessInterface::connectedNetworkName(*interfaces);
      } else {
        requests.reset();
      }
    }
  }
  const std::lock_guard lock(mutex);
  name = std::move(found);
}

void LinuxWifiNetworkName::State::watch(std::optional<NetlinkSocket> links,
                                        std::optional<Nl80211Socket> wireless) {
  const int interval = static_cast<int>(std::lround(kSafetyRefreshSeconds * 1e3));
  for (;;) {
    pollfd descriptors[3] = {{links ? links->descriptor() : -1, POLLIN, 0},
                             {wireless ? wireless->descriptor() : -1, POLLIN, 0},
                             {stop.descriptor(), POLLIN, 0}};
    const int ready = ::poll(descriptors, 3, interval);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (descriptors[2].revents != 0) return;
    bool changed = ready == 0;
    if (descriptors[0].revents != 0) {
      const bool linksChanged = links->drainEvents();
      changed = changed || linksChanged;
      // A wireless interface that appears may bring nl80211 with it.
      if (linksChanged && !wireless) wireless = Nl80211Socket::forEvents();
    }
    if (descriptors[1].revents != 0) changed = wireless->drainEvents() || changed;
    if (changed) refresh();
  }
}

LinuxWifiNetworkName::LinuxWifiNetworkName() : state_(std::make_unique<State>()) {}

LinuxWifiNetworkName::~LinuxWifiNetworkName() {
  if (!state_->watcher.joinable()) return;
  state_->stop.signal();
  state_->watcher.join();
}

std::optional<std::string> LinuxWifiNetworkName::current() {
  std::call_once(state_->started, [state = state_.get()] {
    // Subscribed before the first question, so no change between the two goes unseen.
    auto links = NetlinkSocket::open(RTMGRP_LINK);
    auto wireless = Nl80211Socket::forEvents();
    state->refresh();
    if (!state->stop.valid()) return;
    state->watcher =
        std::thread([state, links = std::move(links), wireless = std::move(wireless)]() mutable {
          state->watch(std::move(links), std::move(wireless));
        });
  });
  const std::lock_guard lock(state_->mutex);
  return state_->name;
}

void LinuxWifiNetworkName::refresh() {
  state_->refresh();
}

TextSource LinuxWifiNetworkName::source(std::shared_ptr<LinuxWifiNetworkName> name) {
  return [name = std::move(name)] { return name->current(); };
}

}  // namespace trevalo::platform
