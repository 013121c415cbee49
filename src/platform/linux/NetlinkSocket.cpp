#include "platform/linux/NetlinkSocket.h"

#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace trevalo::platform {

namespace {

constexpr std::size_t kBufferSize = 32 * 1024;
constexpr time_t kDumpTimeoutSeconds = 2;

std::size_t payloadSize(std::uint16_t type) {
  switch (type) {
    case RTM_GETLINK:
      return sizeof(ifinfomsg);
    case RTM_GETADDR:
      return sizeof(ifaddrmsg);
    default:
      return sizeof(rtmsg);
  }
}

}  // namespace

std::optional<NetlinkSocket> NetlinkSocket::open(std::uint32_t groups) {
  const int flags = SOCK_RAW | SOCK_CLOEXEC | (groups != 0 ? SOCK_NONBLOCK : 0);
  const int fd = ::socket(AF_NETLINK, flags, NETLINK_ROUTE);
  if (fd < 0) return std::nullopt;
  NetlinkSocket socket(fd);
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = groups;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
    return std::nullopt;
  }
  if (groups == 0) {
    // A dump that never ends must not hang the caller.
    timeval timeout{kDumpTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  }
  return socket;
}

NetlinkSocket::NetlinkSocket(NetlinkSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), sequence_(other.sequence_) {}

NetlinkSocket& NetlinkSocket::operator=(NetlinkSocket&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    sequence_ = other.sequence_;
  }
  return *this;
}

NetlinkSocket::~NetlinkSocket() {
  if (fd_ >= 0) ::close(fd_);
}

long NetlinkSocket::receive(void* buffer, std::size_t size, int flags) {
  sockaddr_nl sender{};
  iovec vector{buffer, size};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof(sender);
  message.msg_iov = &vector;
  message.msg_iovlen = 1;
  long length;
  do {
    length = ::recvmsg(fd_, &message, flags);
  } while (length < 0 && errno == EINTR);
  if (length < 0) return -1;
  if ((message.msg_flags & MSG_TRUNC) != 0) return -1;
  // Other processes may send to a netlink socket too; only the kernel (port 0) is believed.
  if (sender.nl_pid != 0) return 0;
  return length;
}

bool NetlinkSocket::dump(std::uint16_t type, unsigned char family, const Visitor& visit) {
  struct {
    nlmsghdr header;
    alignas(NLMSG_ALIGNTO) std::array<unsigned char, sizeof(ifinfomsg) + sizeof(rtmsg)> payload;
  } request{};
  const std::uint32_t sequence = ++sequence_;
  request.header.nlmsg_len = NLMSG_LENGTH(payloadSize(type));
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = sequence;
  // Every one of the request headers starts with the address family.
  request.payload[0] = family;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd_, &request, request.header.nlmsg_len, 0,
               reinterpret_cast<const sockaddr*>(&kernel), sizeof(kernel)) < 0) {
    return false;
  }

  alignas(nlmsghdr) std::array<unsigned char, kBufferSize> buffer;
  for (;;) {
    const long length = receive(buffer.data(), buffer.size(), 0);
    if (length < 0) return false;
    auto remaining = static_cast<unsigned int>(length);
    for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer.data());
         NLMSG_OK(header, remaining); header = NLMSG_NEXT(header, remaining)) {
      if (header->nlmsg_seq != sequence) continue;
      if (header->nlmsg_type == NLMSG_DONE) return true;
      if (header->nlmsg_type == NLMSG_ERROR) return false;
      if ((header->nlmsg_flags & NLM_F_DUMP_INTR) != 0) return false;
      visit(*header);
    }
  }
}

bool NetlinkSocket::drainEvents() {
  alignas(nlmsghdr) std::array<unsigned char, kBufferSize> buffer;
  bool any = false;
  for (;;) {
    sockaddr_nl sender{};
    socklen_t senderLength = sizeof(sender);
    const long length = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (length >= 0) {
      // A truncated event still says that something changed; its content is not read.
      if (sender.nl_pid == 0) any = true;
      continue;
    }
    if (errno == EINTR) continue;
    // ENOBUFS: the kernel dropped events; what changed is unknown, so report a change.
    if (errno == ENOBUFS) {
      any = true;
      continue;
    }
    return any;
  }
}

}  // namespace trevalo::platform
