#include "platform/linux/Nl80211Socket.h"

#include <linux/nl80211.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <array>
#include <cerrno>

namespace trevalo::platform {

namespace {

// A request that never ends must not hang the caller.
constexpr time_t kRequestTimeoutSeconds = 2;

struct MessageDeleter {
  void operator()(nl_msg* message) const noexcept { nlmsg_free(message); }
};

struct Dump {
  std::vector<WirelessInterface> found;
  bool done = false;
  bool failed = false;
};

int collect(nl_msg* message, void* argument) {
  auto& dump = *static_cast<Dump*>(argument);
  if (auto interface = WirelessInterface::fromMessage(nlmsg_hdr(message))) {
    dump.found.push_back(std::move(*interface));
  }
  return NL_OK;
}

int finish(nl_msg*, void* argument) {
  static_cast<Dump*>(argument)->done = true;
  return NL_STOP;
}

int fail(sockaddr_nl*, nlmsgerr*, void* argument) {
  auto& dump = *static_cast<Dump*>(argument);
  dump.done = dump.failed = true;
  return NL_STOP;
}

}  // namespace

void Nl80211Socket::Deleter::operator()(nl_sock* socket) const noexcept {
  nl_socket_free(socket);
}

Nl80211Socket::~Nl80211Socket() = default;

std::optional<Nl80211Socket> Nl80211Socket::forRequests() {
  std::unique_ptr<nl_sock, Deleter> socket(nl_socket_alloc());
  if (!socket || genl_connect(socket.get()) < 0) return std::nullopt;
  const int family = genl_ctrl_resolve(socket.get(), NL80211_GENL_NAME);
  if (family < 0) return std::nullopt;
  timeval timeout{kRequestTimeoutSeconds, 0};
  ::setsockopt(nl_socket_get_fd(socket.get()), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  return Nl80211Socket(std::move(socket), family);
}

std::optional<Nl80211Socket> Nl80211Socket::forEvents() {
  std::unique_ptr<nl_sock, Deleter> socket(nl_socket_alloc());
  if (!socket || genl_connect(socket.get()) < 0) return std::nullopt;
  const int family = genl_ctrl_resolve(socket.get(), NL80211_GENL_NAME);
  if (family < 0) return std::nullopt;
  for (const char* group : {NL80211_MULTICAST_GROUP_CONFIG, NL80211_MULTICAST_GROUP_MLME}) {
    const int id = genl_ctrl_resolve_grp(socket.get(), NL80211_GENL_NAME, group);
    if (id < 0 || nl_socket_add_membership(socket.get(), id) < 0) return std::nullopt;
  }
  nl_socket_disable_seq_check(socket.get());
  if (nl_socket_set_nonblocking(socket.get()) < 0) return std::nullopt;
  return Nl80211Socket(std::move(socket), family);
}

std::optional<std::vector<WirelessInterface>> Nl80211Socket::interfaces() {
  const std::unique_ptr<nl_msg, MessageDeleter> request(nlmsg_alloc());
  if (!request || !genlmsg_put(request.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family_, 0, NLM_F_DUMP,
                               NL80211_CMD_GET_INTERFACE, 0)) {
    return std::nullopt;
  }
  if (nl_send_auto(socket_.get(), request.get()) < 0) return std::nullopt;
  Dump dump;
  const std::unique_ptr<nl_cb, decltype(&nl_cb_put)> callbacks(nl_cb_alloc(NL_CB_DEFAULT),
                                                               &nl_cb_put);
  if (!callbacks || nl_cb_set(callbacks.get(), NL_CB_VALID, NL_CB_CUSTOM, collect, &dump) < 0 ||
      nl_cb_set(callbacks.get(), NL_CB_FINISH, NL_CB_CUSTOM, finish, &dump) < 0 ||
      nl_cb_set(callbacks.get(), NL_CB_ACK, NL_CB_CUSTOM, finish, &dump) < 0 ||
      nl_cb_err(callbacks.get(), NL_CB_CUSTOM, fail, &dump) < 0) {
    return std::nullopt;
  }
  // The dump may come in several reads; it ends with its last part (NLMSG_DONE) or an error.
  while (!dump.done) {
    if (nl_recvmsgs(socket_.get(), callbacks.get()) < 0) return std::nullopt;
  }
  if (dump.failed) return std::nullopt;
  return std::move(dump.found);
}

bool Nl80211Socket::drainEvents() {
  std::array<unsigned char, 16 * 1024> buffer;
  bool any = false;
  for (;;) {
    const auto length = ::recv(descriptor(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (length >= 0) {
      any = true;
      continue;
    }
    if (errno == EINTR) continue;
    // ENOBUFS: events were lost, so what changed is unknown.
    if (errno == ENOBUFS) {
      any = true;
      continue;
    }
    return any;
  }
}

int Nl80211Socket::descriptor() const {
  return nl_socket_get_fd(socket_.get());
}

}  // namespace trevalo::platform
