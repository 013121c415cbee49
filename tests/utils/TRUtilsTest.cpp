#include "trevalo/utils/TRUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/LocalFileSystem.h"
#include "trevalo/platform/UserDefaults.h"

namespace trevalo {
namespace {

constexpr const char* kVendorId = "11111111-2222-3333-4444-555555555555";

class TRUtilsTest : public testing::PlatformTest {
 protected:
  // What a later process would read: a store opened afresh from the file on disk.
  platform::UserDefaults reopenedDefaults() const {
    return platform::UserDefaults(std::make_shared<platform::LocalFileSystem>(),
                                  platform().userDefaults().path());
  }
};

TEST_F(TRUtilsTest, FlagsAreFalseOnAFreshInstallAndSurviveARestart) {
  const struct {
    void (*save)(bool);
    bool (*read)();
    const char* key;
  } flags[] = {{TRUtils::saveWasRunning, TRUtils::wasRunning, "__TR_APP_WAS_RUNNING_ON_KEY"},
               {TRUtils::saveGeofenceState, TRUtils::geofenceOn, "__TR_APP_GEOFENCE_ON_KEY"}};
  for (const auto& flag : flags) {
    SCOPED_TRACE(flag.key);
    EXPECT_FALSE(flag.read());
    for (const bool value : {true, false}) {
      flag.save(value);
      EXPECT_EQ(flag.read(), value);
      EXPECT_EQ(reopenedDefaults().boolForKey(flag.key), value);
    }
  }
}

TEST_F(TRUtilsTest, OptionsRoundTripAndAnythingUnreadableReadsAsNothing) {
  EXPECT_EQ(TRUtils::options(), std::nullopt);
  const Json options = {{"timed_updates_interval", 60},
                        {"options_filter", Json::array({{{"category", "food"}}})},
                        {"when_in_use_only", true}};
  TRUtils::saveOptions(options);
  EXPECT_EQ(TRUtils::options(), options);
  EXPECT_TRUE(reopenedDefaults().dataForKey("__TR_APP_OPTIONS_ON_KEY").has_value());

  auto& defaults = platform().userDefaults();
  auto truncated = *defaults.dataForKey("__TR_APP_OPTIONS_ON_KEY");
  truncated.resize(truncated.size() / 2);
  for (const auto& damaged : {platform::Bytes{0x01, 0x02, 0x03}, truncated}) {
    defaults.setData(damaged, "__TR_APP_OPTIONS_ON_KEY");
    EXPECT_EQ(TRUtils::options(), std::nullopt);
  }
  defaults.setObject("not bytes", "__TR_APP_OPTIONS_ON_KEY");
  EXPECT_EQ(TRUtils::options(), std::nullopt);

  TRUtils::saveOptions(options);
  TRUtils::saveOptions(std::nullopt);
  EXPECT_EQ(TRUtils::options(), std::nullopt);
}

TEST_F(TRUtilsTest, IFAStoresTheVendorIdentifierOnceAndKeepsIt) {
  // An empty stored identifier counts as none.
  platform().userDefaults().setObject("", "_TR_APP_UUID");
  platform().device().overrideIdentifierForVendor(kVendorId);
  EXPECT_EQ(TRUtils::IFA(), kVendorId);
  EXPECT_EQ(reopenedDefaults().stringForKey("_TR_APP_UUID"), kVendorId);

  platform().device().overrideIdentifierForVendor("AAAAAAAA-2222-3333-4444-555555555555");
  EXPECT_EQ(TRUtils::IFA(), kVendorId);
}

TEST_F(TRUtilsTest, IFAPrefersAnAdvertisingIdentifierAndEmptyOnesCountAsAbsent) {
  platform().device().overrideIdentifierForVendor(std::nullopt);
  EXPECT_EQ(TRUtils::IFA(), std::nullopt);
  platform().device().overrideIdentifierForVendor("");
  platform().advertisingIdentifierText().set("");
  EXPECT_EQ(TRUtils::IFA(), std::nullopt);
  EXPECT_FALSE(platform().userDefaults().objectForKey("_TR_APP_UUID").has_value());

  platform().device().overrideIdentifierForVendor(kVendorId);
  EXPECT_EQ(TRUtils::IFA(), kVendorId);
  platform().advertisingIdentifierText().set("99999999-8888-7777-6666-555555555555");
  EXPECT_EQ(TRUtils::IFA(), "99999999-8888-7777-6666-555555555555");
}

TEST_F(TRUtilsTest, NetworkNamesAreReadAsTextWithBytesThatAreNotUtf8Replaced) {
  EXPECT_FALSE(TRUtils::fetchSSIDInfo());
  platform().wifiNetworkNameText().set("Caf\xC3\xA9 \xF0\x9F\x93\xB6");
  EXPECT_EQ(TRUtils::fetchSSIDInfo(), "Caf\xC3\xA9 \xF0\x9F\x93\xB6");
  platform().wifiNetworkNameText().set(std::string("Caf\xE9\0x\xC3", 7));
  EXPECT_EQ(TRUtils::fetchSSIDInfo(), std::string("Caf\xEF\xBF\xBD\0x\xEF\xBF\xBD", 11));
}

TEST_F(TRUtilsTest, DeviceNamesComeFromTheTableOrTheFamily) {
  const std::pair<const char*, const char*> names[] = {
      {"i386", "Simulator"}, {"iPhone7,1", "iPhone 6 Plus"},
      {"iPad2,1", "iPad 2"}, {"iPhone8,1", "iPhone"},
      {"iPad5,3", "iPad"},   {"iPod5,1", "iPod Touch"},
      {"x86_64", "x86_64"},  {"", ""}};
  for (const auto& [machine, name] : names) {
    platform().device().setDescription({"Device", "Linux", "6.1", "Computer", machine});
    EXPECT_EQ(TRUtils::deviceName(), name) << machine;
  }
}

TEST(TRUtilsErrorTest, KnownCodesHaveTheirMessageAndOthersAreTheGenericError) {
  const struct {
    std::int64_t requested;
    const char* domain;
    std::int64_t code;
    const char* key;
    const char* message;
  } cases[] = {{-9999, "Trevalo", -9999, Error::kLocalizedFailureReasonKey, "Unknown server error"},
               {-9994, "Trevalo", -9994, Error::kLocalizedDescriptionKey,
                "Cannot find venues at this location"},
               {-9997, "TRError", -888, Error::kLocalizedFailureReasonKey, "Unknown Trevalo error"},
               {0, "TRError", -888, Error::kLocalizedFailureReasonKey, "Unknown Trevalo error"}};
  for (const auto& c : cases) {
    const Error error = TRUtils::errorWithCode(c.requested);
    EXPECT_EQ(error.domain(), c.domain) << c.requested;
    EXPECT_EQ(error.code(), c.code) << c.requested;
    EXPECT_EQ(error.userInfo(), (std::map<std::string, std::string>{{c.key, c.message}}))
        << c.requested;
  }
}

TEST(TRUtilsExceptionTest, OnlyCodeOneRaisesTheFilterOptionException) {
  try {
    TRUtils::raiseException(1);
    FAIL() << "code 1 must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), Exception::kInvalidArgument);
    EXPECT_EQ(e.reason(), "TROptionFilter option must be an array of TRFilter objects");
  }
  for (const int code : {0, 2, -1}) {
    EXPECT_NO_THROW(TRUtils::raiseException(code));
  }
}

TEST(TRUtilsDisplayNameTest, NamesKnownValuesAndFlagsOthers) {
  EXPECT_EQ(TRUtils::strForStrategy(StrategyTypeGeofence), "StrategyTypeGeofence");
  EXPECT_EQ(TRUtils::strForStrategy(static_cast<StrategyType>(13)), "Unknown");
  EXPECT_EQ(TRUtils::strForStrategy(static_cast<StrategyType>(-2)), "Unknown");
  EXPECT_EQ(TRUtils::strForMode(TRModeVisitWalking), "TRModeVisitWalking");
  EXPECT_EQ(TRUtils::strForMode(static_cast<TRMode>(8)), "unknown");
}

TEST(TRUtilsTimeTest, MillisecondsTruncateAndSaturate) {
  const auto milliseconds = [](double seconds) {
    return TRUtils::millisecondsSince1970(Date(seconds));
  };
  EXPECT_EQ(milliseconds(1500000000.1234), 1500000000123u);
  EXPECT_EQ(milliseconds(0.0019), 1u);
  const double inf = std::numeric_limits<double>::infinity();
  for (const double before : {0.0, -0.0004, std::nan(""), -inf}) {
    EXPECT_EQ(milliseconds(before), 0u) << before;
  }
  for (const double beyond : {inf, 1e300, 18446744073709551.616}) {
    EXPECT_EQ(milliseconds(beyond), std::numeric_limits<std::uint64_t>::max()) << beyond;
  }
}

TEST(TRUtilsRollingTest, KeepsTheNewestItemsUpToTheLimit) {
  std::deque<int> values;
  std::vector<std::shared_ptr<int>> records;
  for (int i = 0; i <= 120; ++i) {
    TRUtils::addRollingData(std::optional<int>(i), values, 120);
    TRUtils::addRollingData(std::make_shared<int>(i), records, 120);
  }
  ASSERT_EQ(values.size(), 120u);
  EXPECT_EQ(values.front(), 1);
  EXPECT_EQ(values.back(), 120);
  ASSERT_EQ(records.size(), 120u);
  EXPECT_EQ(*records.front(), 1);

  TRUtils::addRollingData(std::optional<int>(), values, 120);
  TRUtils::addRollingData(std::shared_ptr<int>(), records, 120);
  TRUtils::addRollingData(nullptr, records, 120);
  EXPECT_EQ(values.size(), 120u);
  ASSERT_EQ(records.size(), 120u);
  EXPECT_EQ(*records.back(), 120);

  // A lowered limit trims a longer list in one step.
  TRUtils::addRollingData(121, values, 3);
  EXPECT_EQ(values, (std::deque<int>{119, 120, 121}));
  TRUtils::addRollingData(122, values, 0);
  EXPECT_TRUE(values.empty());
}

}  // namespace
}  // namespace trevalo
