#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/WirelessInterface.h"

struct nl_sock;

namespace trevalo::platform {

// A generic-netlink socket speaking to the kernel's nl80211 family: the wireless interfaces
// on request, and (made with forEvents) the family's configuration and connection events.
class Nl80211Socket {
 public:
  // Nothing when there is no nl80211 here (no wireless driver loaded, no netlink).
  static std::optional<Nl80211Socket> forRequests();
  // A non-blocking socket that receives interface changes and connections, disconnections
  // and roaming of every wireless interface.
  static std::optional<Nl80211Socket> forEvents();

  Nl80211Socket(Nl80211Socket&&) noexcept = default;
  Nl80211Socket& operator=(Nl80211Socket&&) noexcept = default;
  ~Nl80211Socket();

  // Every wireless interface; nothing when the kernel could not be asked.
  std::optional<std::vector<WirelessInterface>> interfaces();

  // Reads every waiting event; true when at least one arrived (or some were lost).
  bool drainEvents();
  int descriptor() const;

 private:
  struct Deleter {
    void operator()(nl_sock* socket) const noexcept;
  };
  Nl80211Socket(std::unique_ptr<nl_sock, Deleter> socket, int family) noexcept
      : socket_(std::move(socket)), family_(family) {}

  std::unique_ptr<nl_sock, Deleter> socket_;
  int family_ = 0;
};

}  // namespace trevalo::platform
