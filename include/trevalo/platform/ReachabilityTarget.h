#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace trevalo::platform {

// What a reachability question is about: an IPv4 address (the zero address standing for the
// internet in general, the link-local network for the local Wi-Fi link) or a host name.
class ReachabilityTarget {
 public:
  using IPv4Address =
      std::array<std::uint8_t, 4>;  // in network order: 169.254.0.0 is {169, 254, 0, 0}

  static ReachabilityTarget forAddress(IPv4Address address);
  // Nothing for a name that cannot be one: empty, longer than 253 characters, or with a label
  // that is empty, longer than 63 characters or holds characters other than letters, digits,
  // '-' and '_'.
  static std::optional<ReachabilityTarget> forHostName(const std::string& hostName);

  static ReachabilityTarget internet() { return forAddress({0, 0, 0, 0}); }
  static ReachabilityTarget localWiFi() { return forAddress({169, 254, 0, 0}); }

  bool isHostName() const noexcept { return hostName_.has_value(); }
  const IPv4Address& address() const noexcept { return address_; }
  const std::optional<std::string>& hostName() const noexcept { return hostName_; }

  auto operator<=>(const ReachabilityTarget&) const = default;
  bool operator==(const ReachabilityTarget&) const = default;

 private:
  ReachabilityTarget() = default;

  IPv4Address address_{};
  std::optional<std::string> hostName_;
};

}  // namespace trevalo::platform
