#pragma once

#include <linux/netlink.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace trevalo::platform {

// A routing-netlink socket: dumps of the kernel's tables, and (with multicast groups) change
// events. Only messages from the kernel are read; anything else on the socket is ignored.
class NetlinkSocket {
 public:
  using Visitor = std::function<void(const nlmsghdr&)>;

  // Nothing when the socket cannot be made (no netlink in this environment, say).
  static std::optional<NetlinkSocket> open(std::uint32_t groups);

  NetlinkSocket(NetlinkSocket&& other) noexcept;
  NetlinkSocket& operator=(NetlinkSocket&& other) noexcept;
  NetlinkSocket(const NetlinkSocket&) = delete;
  NetlinkSocket& operator=(const NetlinkSocket&) = delete;
  ~NetlinkSocket();

  // Asks for every entry of a table (RTM_GETLINK, RTM_GETADDR, RTM_GETROUTE) and shows each
  // entry to `visit`. False when the dump failed or was cut short.
  bool dump(std::uint16_t type, unsigned char family, const Visitor& visit);

  // Reads every message waiting (the socket must be non-blocking); true when at least one
  // event, or an overflow that lost some, arrived.
  bool drainEvents();

  int descriptor() const noexcept { return fd_; }

 private:
  explicit NetlinkSocket(int fd) noexcept : fd_(fd) {}
  // One datagram from the kernel; its length, 0 for one to skip, -1 on failure.
  long receive(void* buffer, std::size_t size, int flags);

  int fd_ = -1;
  std::uint32_t sequence_ = 0;
};

}  // namespace trevalo::platform
