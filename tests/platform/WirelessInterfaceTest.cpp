#include "platform/linux/WirelessInterface.h"

#include <gtest/gtest.h>
#include <linux/nl80211.h>
#include <netlink/genl/genl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "support/TemporaryDirectory.h"
#include "trevalo/platform/linux/LinuxWifiNetworkName.h"
#include "trevalo/platform/linux/SystemPlatform.h"

namespace trevalo::platform {
namespace {

struct MessageDeleter {
  void operator()(nl_msg* message) const { nlmsg_free(message); }
};
using Message = std::unique_ptr<nl_msg, MessageDeleter>;

constexpr int kFamily = 28;  // any generic-netlink family id: the parser does not look at it

// A reply to an interface request, made the way the kernel makes it.
struct Reply {
  std::uint8_t command = NL80211_CMD_NEW_INTERFACE;
  std::optional<std::uint32_t> index = 3;
  std::optional<std::string> name = "wlan0";
  std::optional<std::uint32_t> type = NL80211_IFTYPE_STATION;
  std::optional<std::string> ssid = std::nullopt;

  Message build() const {
    Message message(nlmsg_alloc());
    genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, kFamily, 0, 0, command, 0);
    if (index) nla_put_u32(message.get(), NL80211_ATTR_IFINDEX, *index);
    if (name) nla_put_string(message.get(), NL80211_ATTR_IFNAME, name->c_str());
    if (type) nla_put_u32(message.get(), NL80211_ATTR_IFTYPE, *type);
    if (ssid)
      nla_put(message.get(), NL80211_ATTR_SSID, static_cast<int>(ssid->size()), ssid->data());
    return message;
  }
  std::optional<WirelessInterface> parse() const {
    const auto message = build();
    return WirelessInterface::fromMessage(nlmsg_hdr(message.get()));
  }
};

// An SSID is bytes, NUL among them, up to 32 of them; an idle interface has none.
TEST(WirelessInterfaceTest, AnInterfaceReplyIsReadWithItsNetworkAndNothingElseIs) {
  const auto connected = Reply{.ssid = "Office"}.parse();
  ASSERT_TRUE(connected);
  EXPECT_EQ(std::tie(connected->index, connected->name, connected->type),
            std::tuple(3u, "wlan0", static_cast<std::uint32_t>(NL80211_IFTYPE_STATION)));
  const std::pair<Reply, std::optional<std::string>> cases[] = {
      {Reply{.ssid = "Office"}, "Office"},
      {Reply{}, ""},
      {Reply{.ssid = std::string("a\0b", 3)}, std::string("a\0b", 3)},
      {Reply{.ssid = std::string(32, 'x')}, std::string(32, 'x')},
      {Reply{.ssid = std::string(33, 'x')}, std::nullopt},
      {Reply{.command = NL80211_CMD_NEW_STATION}, std::nullopt},
      {Reply{.index = std::nullopt}, std::nullopt}};
  for (const auto& [reply, ssid] : cases) {
    const auto parsed = reply.parse();
    EXPECT_EQ(parsed ? std::optional(parsed->ssid) : std::nullopt, ssid)
        << int(reply.command) << " " << reply.ssid.value_or("(none)").size();
  }
  EXPECT_FALSE(WirelessInterface::fromMessage(nullptr));
  // A message cut short of its own header.
  const auto message = Reply{.ssid = "Office"}.build();
  nlmsghdr* header = nlmsg_hdr(message.get());
  header->nlmsg_len = NLMSG_HDRLEN + 2;
  EXPECT_FALSE(WirelessInterface::fromMessage(header));
}

WirelessInterface interface(std::uint32_t index, std::uint32_t type, std::string ssid) {
  return {.index = index, .name = "wl" + std::to_string(index), .type = type, .ssid = ssid};
}

TEST(WirelessInterfaceTest, TheNetworkIsTheFirstConnectedClientInterfaces) {
  using Interfaces = std::vector<WirelessInterface>;
  EXPECT_EQ(WirelessInterface::connectedNetworkName({}), std::nullopt) << "no wireless at all";
  EXPECT_EQ(
      WirelessInterface::connectedNetworkName(Interfaces{interface(2, NL80211_IFTYPE_STATION, ""),
                                                         interface(3, NL80211_IFTYPE_AP, "Hotspot"),
                                                         interface(4, NL80211_IFTYPE_MONITOR, "")}),
      std::nullopt)
      << "an access point this machine offers is not a network it is on";
  EXPECT_EQ(
      WirelessInterface::connectedNetworkName(Interfaces{
          interface(7, NL80211_IFTYPE_STATION, "Later"), interface(2, NL80211_IFTYPE_STATION, ""),
          interface(5, NL80211_IFTYPE_P2P_CLIENT, "Direct"),
          interface(1, NL80211_IFTYPE_AP, "Hotspot")}),
      "Direct")
      << "the lowest index connected, whatever the order of the reply";
}

TEST(WirelessInterfaceTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Office", "Office"},
      {"Caf\xC3\xA9 \xE2\x98\x95 \xF0\x9F\x93\xB6", "Caf\xC3\xA9 \xE2\x98\x95 \xF0\x9F\x93\xB6"},
      {"a\xFF"
       "b",
       "a" + replacement + "b"},
      {"\xC3", replacement},                                                        // cut short
      {"\xC0\x80", replacement + replacement},                                      // overlong
      {"\xED\xA0\x80", replacement + replacement + replacement},                    // a surrogate
      {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // > U+10FFFF
      {"\xE2\x98", replacement + replacement},
  };
  for (const auto& [bytes, text] : cases)
    EXPECT_EQ(WirelessInterface::text(bytes), text) << bytes;
}

bool hasWirelessInterface() {
  std::error_code error;
  return std::filesystem::exists("/sys/class/ieee80211", error) &&
         !std::filesystem::is_empty("/sys/class/ieee80211", error);
}

TEST(LinuxWifiNetworkNameTest, NoWirelessInterfaceMeansNoNetworkAndTheSystemPlatformReadsIt) {
  if (hasWirelessInterface()) GTEST_SKIP() << "this machine has a wireless interface";
  const auto name = std::make_shared<LinuxWifiNetworkName>();
  EXPECT_EQ(name->current(), std::nullopt);
  name->refresh();
  EXPECT_EQ(name->current(), std::nullopt);

  const testing::TemporaryDirectory directory;
  const auto system = SystemPlatform::make({.documentsDirectory = directory.path()});
  EXPECT_EQ(system->wifiNetworkName(), std::nullopt);
  system->setWifiNetworkNameSource([] { return std::optional<std::string>("Own"); });
  EXPECT_EQ(system->wifiNetworkName(), "Own") << "the application's own source wins";
}

}  // namespace
}  // namespace trevalo::platform
