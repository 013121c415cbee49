#include "platform/linux/WirelessInterface.h"

#include <linux/nl80211.h>
#include <netlink/genl/genl.h>

#include <cstring>

namespace trevalo::platform {

namespace {

constexpr std::uint16_t kMaximumSsidLength = 32;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at the start of `bytes`, 0 when there is none.
std::size_t sequenceLength(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::optional<WirelessInterface> WirelessInterface::fromMessage(nlmsghdr* message) {
  if (!message || !genlmsg_valid_hdr(message, 0)) return std::nullopt;
  const auto* header = static_cast<const genlmsghdr*>(nlmsg_data(message));
  if (header->cmd != NL80211_CMD_NEW_INTERFACE) return std::nullopt;

  nla_policy policy[NL80211_ATTR_MAX + 1] = {};
  policy[NL80211_ATTR_IFINDEX].type = NLA_U32;
  policy[NL80211_ATTR_IFNAME].type = NLA_STRING;
  policy[NL80211_ATTR_IFTYPE].type = NLA_U32;
  policy[NL80211_ATTR_SSID].maxlen = kMaximumSsidLength;
  nlattr* attributes[NL80211_ATTR_MAX + 1] = {};
  if (genlmsg_parse(message, 0, attributes, NL80211_ATTR_MAX, policy) < 0) return std::nullopt;
  if (!attributes[NL80211_ATTR_IFINDEX]) return std::nullopt;

  WirelessInterface interface;
  interface.index = nla_get_u32(attributes[NL80211_ATTR_IFINDEX]);
  if (const auto* name = attributes[NL80211_ATTR_IFNAME]) {
    // The kernel ends the name with a NUL; a name without one is taken up to its length.
    const auto* text = static_cast<const char*>(nla_data(name));
    interface.name.assign(text, strnlen(text, static_cast<std::size_t>(nla_len(name))));
  }
  if (const auto* type = attributes[NL80211_ATTR_IFTYPE]) interface.type = nla_get_u32(type);
  if (const auto* ssid = attributes[NL80211_ATTR_SSID]) {
    interface.ssid.assign(static_cast<const char*>(nla_data(ssid)),
                          static_cast<std::size_t>(nla_len(ssid)));
  }
  return interface;
}

std::optional<std::string> WirelessInterface::connectedNetworkName(
    const std::vector<WirelessInterface>& interfaces) {
  const WirelessInterface* first = nullptr;
  for (const auto& interface : interfaces) {
    const bool client =
        interface.type == NL80211_IFTYPE_STATION || interface.type == NL80211_IFTYPE_P2P_CLIENT;
    if (!client || interface.ssid.empty()) continue;
    if (!first || interface.index < first->index) first = &interface;
  }
  if (!first) return std::nullopt;
  return text(first->ssid);
}

std::string WirelessInterface::text(std::string_view ssid) {
  std::string result;
  result.reserve(ssid.size());
  while (!ssid.empty()) {
    const std::size_t length = sequenceLength(ssid);
    if (length == 0) {
      result.append(kReplacement);
      ssid.remove_prefix(1);
    } else {
      result.append(ssid.substr(0, length));
      ssid.remove_prefix(length);
    }
  }
  return result;
}

}  // namespace trevalo::platform
