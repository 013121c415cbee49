#include "trevalo/utils/TRUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/LocalFileSystem.h"
#include "trevalo/platform/UserDefaults.h"

namespace trevalo {
namespace {

class TRUtilsTest : public testing::PlatformTest {
 protected:
  // What a later process would read: a store opened afresh from the file on disk.
  platform::UserDefaults reopenedDefaults() const {
    return platform::UserDefaults(std::make_shared<platform::LocalFileSystem>(),
                                  platform().userDefaults().path());
  }
  void setMachine(const std::string& machine) {
    platform().device().setDescription({"Device", "Linux", "6.1", "Computer", machine});
  }
};

struct FlagCase {
  const char* name;
  void (*save)(bool);
  bool (*read)();
  const char* key;
};

void PrintTo(const FlagCase& c, std::ostream* out) {
  *out << c.name;
}

class TRUtilsFlagTest : public TRUtilsTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(TRUtilsFlagTest, IsFalseOnAFreshInstallAndSurvivesARestart) {
  const FlagCase& flag = GetParam();
  EXPECT_FALSE(flag.read());

  flag.save(true);
  EXPECT_TRUE(flag.read());
  EXPECT_TRUE(reopenedDefaults().boolForKey(flag.key));

  flag.save(false);
  EXPECT_FALSE(flag.read());
  EXPECT_FALSE(reopenedDefaults().boolForKey(flag.key));
}

INSTANTIATE_TEST_SUITE_P(
    Flags, TRUtilsFlagTest,
    ::testing::Values(FlagCase{"WasRunning", TRUtils::saveWasRunning, TRUtils::wasRunning,
                               "__TR_APP_WAS_RUNNING_ON_KEY"},
                      FlagCase{"GeofenceOn", TRUtils::saveGeofenceState, TRUtils::geofenceOn,
                               "__TR_APP_GEOFENCE_ON_KEY"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TRUtilsTest, OptionsRoundTripAndNoOptionsReadsBackAsNothing) {
  EXPECT_EQ(TRUtils::options(), std::nullopt);

  const Json options = {{"timed_updates_interval", 60},
                        {"options_filter", Json::array({{{"category", "food"}}})},
                        {"when_in_use_only", true}};
  TRUtils::saveOptions(options);
  EXPECT_EQ(TRUtils::options(), options);
  EXPECT_TRUE(reopenedDefaults().dataForKey("__TR_APP_OPTIONS_ON_KEY").has_value());

  TRUtils::saveOptions(std::nullopt);
  EXPECT_EQ(TRUtils::options(), std::nullopt);
}

TEST_F(TRUtilsTest, UnreadableStoredOptionsReadAsNothing) {
  auto& defaults = platform().userDefaults();
  defaults.setData({0x01, 0x02, 0x03}, "__TR_APP_OPTIONS_ON_KEY");
  EXPECT_EQ(TRUtils::options(), std::nullopt);

  TRUtils::saveOptions(Json{{"a", 1}});
  auto archive = *defaults.dataForKey("__TR_APP_OPTIONS_ON_KEY");
  archive.resize(archive.size() / 2);
  defaults.setData(archive, "__TR_APP_OPTIONS_ON_KEY");
  EXPECT_EQ(TRUtils::options(), std::nullopt);

  defaults.setObject("not bytes", "__TR_APP_OPTIONS_ON_KEY");
  EXPECT_EQ(TRUtils::options(), std::nullopt);
}

TEST_F(TRUtilsTest, IFAStoresTheVendorIdentifierOnceAndKeepsIt) {
  platform().userDefaults().setObject("", "_TR_APP_UUID");
  platform().device().overrideIdentifierForVendor("11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(TRUtils::IFA(), "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(reopenedDefaults().stringForKey("_TR_APP_UUID"),
            "11111111-2222-3333-4444-555555555555");

  platform().device().overrideIdentifierForVendor("AAAAAAAA-2222-3333-4444-555555555555");
  EXPECT_EQ(TRUtils::IFA(), "11111111-2222-3333-4444-555555555555");
}

TEST_F(TRUtilsTest, IFAPrefersAnAdvertisingIdentifierAndSkipsAnEmptyOne) {
  platform().device().overrideIdentifierForVendor("11111111-2222-3333-4444-555555555555");
  platform().advertisingIdentifierText().set("");
  EXPECT_EQ(TRUtils::IFA(), "11111111-2222-3333-4444-555555555555");

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

TEST_F(TRUtilsTest, NoIdentifierAnywhereGivesNothingAndStoresNothing) {
  platform().device().overrideIdentifierForVendor(std::nullopt);
  EXPECT_EQ(TRUtils::IFA(), std::nullopt);
  platform().device().overrideIdentifierForVendor("");
  EXPECT_EQ(TRUtils::requestUUIDFromUserDefaultsAndSave(), std::nullopt);
  EXPECT_FALSE(platform().userDefaults().objectForKey("_TR_APP_UUID").has_value());
}

struct DeviceNameCase {
  const char* machine;
  const char* name;
};

void PrintTo(const DeviceNameCase& c, std::ostream* out) {
  *out << c.machine << " as " << c.name;
}

class TRUtilsDeviceNameTest : public TRUtilsTest,
                              public ::testing::WithParamInterface<DeviceNameCase> {};

TEST_P(TRUtilsDeviceNameTest, MapsTheMachineIdentifier) {
  setMachine(GetParam().machine);
  EXPECT_EQ(TRUtils::deviceName(), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Table, TRUtilsDeviceNameTest,
                         ::testing::Values(DeviceNameCase{"i386", "Simulator"},
                                           DeviceNameCase{"iPod4,1", "iPod Touch"},
                                           DeviceNameCase{"iPad2,1", "iPad 2"},
                                           DeviceNameCase{"iPad3,4", "iPad"},
                                           DeviceNameCase{"iPhone4,1", "iPhone 4S"},
                                           DeviceNameCase{"iPhone7,1", "iPhone 6 Plus"},
                                           DeviceNameCase{"iPad4,5", "iPad Mini"}));

INSTANTIATE_TEST_SUITE_P(Fallbacks, TRUtilsDeviceNameTest,
                         ::testing::Values(DeviceNameCase{"iPhone8,1", "iPhone"},
                                           DeviceNameCase{"iPad5,3", "iPad"},
                                           DeviceNameCase{"iPod5,1", "iPod Touch"},
                                           DeviceNameCase{"x86_64", "x86_64"},
                                           DeviceNameCase{"", ""}));

struct ErrorCase {
  std::int64_t requested;
  const char* domain;
  std::int64_t code;
  const char* key;
  const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << "code " << c.requested;
}

class TRUtilsErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(TRUtilsErrorTest, BuildsTheDocumentedError) {
  const ErrorCase& expected = GetParam();
  const Error error = TRUtils::errorWithCode(expected.requested);
  EXPECT_EQ(error.domain(), expected.domain);
  EXPECT_EQ(error.code(), expected.code);
  EXPECT_EQ(error.userInfo(),
            (std::map<std::string, std::string>{{expected.key, expected.message}}));
}

constexpr const char* kReason = Error::kLocalizedFailureReasonKey;
constexpr const char* kDescription = Error::kLocalizedDescriptionKey;

INSTANTIATE_TEST_SUITE_P(
    Table, TRUtilsErrorTest,
    ::testing::Values(
        ErrorCase{-9999, "Trevalo", -9999, kReason, "Unknown server error"},
        ErrorCase{-9998, "Trevalo", -9998, kDescription,
                  "Trevalo is not running. Please call - (void)startWithApiKey:(NSString *)apiKey "
                  "delegate:(NSObject <TrevaloDelegate> *)delegate first"},
        ErrorCase{-9997, "TRError", -888, kReason, "Unknown Trevalo error"},
        ErrorCase{-9996, "Trevalo", -9996, kDescription, "Location cannot be nil"},
        ErrorCase{-9995, "Trevalo", -9995, kDescription, "Location is not determined"},
        ErrorCase{-9994, "Trevalo", -9994, kDescription, "Cannot find venues at this location"},
        ErrorCase{-9993, "Trevalo", -9993, kDescription, "Current venue is not available"},
        ErrorCase{-9992, "Trevalo", -9992, kReason, "Unknown server error"},
        ErrorCase{0, "TRError", -888, kReason, "Unknown Trevalo error"},
        ErrorCase{-888, "TRError", -888, kReason, "Unknown Trevalo error"}));

TEST(TRUtilsExceptionTest, OnlyCodeOneRaisesTheFilterOptionException) {
  try {
    TRUtils::raiseException(1);
    FAIL() << "code 1 must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), Exception::kInvalidArgument);
    EXPECT_EQ(e.reason(), "TROptionFilter option must be an array of TRFilter objects");
  }
  EXPECT_NO_THROW(TRUtils::raiseException(0));
  EXPECT_NO_THROW(TRUtils::raiseException(2));
  EXPECT_NO_THROW(TRUtils::raiseException(-1));
}

TEST(TRUtilsDisplayNameTest, NamesKnownValuesAndFlagsOthers) {
  EXPECT_EQ(TRUtils::strForStrategy(StrategyTypeUnset), "StrategyTypeUnset");
  EXPECT_EQ(TRUtils::strForStrategy(StrategyTypeBuildingModeStill),
            "StrategyTypeBuildingModeStill");
  EXPECT_EQ(TRUtils::strForStrategy(StrategyTypeGeofence), "StrategyTypeGeofence");
  EXPECT_EQ(TRUtils::strForStrategy(static_cast<StrategyType>(13)), "Unknown");
  EXPECT_EQ(TRUtils::strForStrategy(static_cast<StrategyType>(-2)), "Unknown");

  EXPECT_EQ(TRUtils::strForMode(TRModeInitial), "TRModeInitial");
  EXPECT_EQ(TRUtils::strForMode(TRModeVisitWalking), "TRModeVisitWalking");
  EXPECT_EQ(TRUtils::strForMode(TRModeWifi), "TRModeWifi");
  EXPECT_EQ(TRUtils::strForMode(static_cast<TRMode>(8)), "unknown");
  EXPECT_EQ(TRUtils::strForMode(static_cast<TRMode>(9)), "unknown");
}

struct MillisecondsCase {
  double seconds;
  std::uint64_t milliseconds;
};

void PrintTo(const MillisecondsCase& c, std::ostream* out) {
  *out << c.seconds << " s";
}

class TRUtilsMillisecondsTest : public ::testing::TestWithParam<MillisecondsCase> {};

TEST_P(TRUtilsMillisecondsTest, TruncatesAndSaturates) {
  EXPECT_EQ(TRUtils::millisecondsSince1970(Date(GetParam().seconds)), GetParam().milliseconds);
}

constexpr auto kMaxMilliseconds = std::numeric_limits<std::uint64_t>::max();
constexpr auto kInfinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Instants, TRUtilsMillisecondsTest,
    ::testing::Values(MillisecondsCase{1500000000.1234, 1500000000123u},
                      MillisecondsCase{0.0019, 1u}, MillisecondsCase{0.0, 0u},
                      MillisecondsCase{-0.0004, 0u}, MillisecondsCase{-86400.0, 0u},
                      MillisecondsCase{std::nan(""), 0u}, MillisecondsCase{-kInfinity, 0u},
                      MillisecondsCase{kInfinity, kMaxMilliseconds},
                      MillisecondsCase{1e300, kMaxMilliseconds},
                      MillisecondsCase{18446744073709551.616, kMaxMilliseconds}));

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

TEST(TRUtilsVersionTest, IsTheEmbeddedVersionText) {
  EXPECT_EQ(TRUtils::version(), "1.0");
}

}  // namespace
}  // namespace trevalo
