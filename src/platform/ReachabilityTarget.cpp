#include "trevalo/platform/ReachabilityTarget.h"

#include <string_view>

namespace trevalo::platform {

namespace {

constexpr std::size_t kLongestHostName = 253;
constexpr std::size_t kLongestLabel = 63;

bool isLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

bool isValidHostName(std::string_view name) {
  // One trailing dot names the root and is allowed.
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  if (name.empty() || name.size() > kLongestHostName) return false;
  std::size_t labelLength = 0;
  for (const char c : name) {
    if (c == '.') {
      if (labelLength == 0) return false;
      labelLength = 0;
    } else if (!isLabelCharacter(c) || ++labelLength > kLongestLabel) {
      return false;
    }
  }
  return labelLength > 0;
}

}  // namespace

ReachabilityTarget ReachabilityTarget::forAddress(IPv4Address address) {
  ReachabilityTarget target;
  target.address_ = address;
  return target;
}

std::optional<ReachabilityTarget> ReachabilityTarget::forHostName(const std::string& hostName) {
  if (!isValidHostName(hostName)) return std::nullopt;
  ReachabilityTarget target;
  target.hostName_ = hostName;
  return target;
}

}  // namespace trevalo::platform
