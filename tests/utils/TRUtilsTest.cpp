#include "utils/TRUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <nlohmann/json.hpp>

#include "support/PlatformTest.h"
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

// Options themselves are TROptionsTest's: here, that damaged ones read as nothing.
TEST_F(TRUtilsTest, FlagsSurviveARestartAndDamagedOptionsReadAsNothing) {
  EXPECT_FALSE(TRUtils::wasRunning());
  TRUtils::saveWasRunning(true);
  EXPECT_TRUE(reopenedDefaults().boolForKey("__TR_APP_WAS_RUNNING_ON_KEY"));

  TRUtils::saveOptions(TROptions{{"timed_updates_interval", 60}});
  auto& defaults = platform().userDefaults();
  auto truncated = *reopenedDefaults().dataForKey("__TR_APP_OPTIONS_ON_KEY");
  truncated.resize(truncated.size() / 2);
  defaults.setData(truncated, "__TR_APP_OPTIONS_ON_KEY");
  EXPECT_EQ(TRUtils::options(), std::nullopt);
  defaults.setObject("not bytes", "__TR_APP_OPTIONS_ON_KEY");
  EXPECT_EQ(TRUtils::options(), std::nullopt);
}

TEST_F(TRUtilsTest, IFAKeepsTheFirstVendorIdentifierAndEmptyOnesCountAsAbsent) {
  platform().userDefaults().setObject("", "_TR_APP_UUID");
  platform().device().overrideIdentifierForVendor("");
  platform().advertisingIdentifierText().set("");
  EXPECT_EQ(TRUtils::IFA(), std::nullopt);

  platform().device().overrideIdentifierForVendor(kVendorId);
  EXPECT_EQ(TRUtils::IFA(), kVendorId);
  EXPECT_EQ(reopenedDefaults().stringForKey("_TR_APP_UUID"), kVendorId);
  platform().device().overrideIdentifierForVendor("AAAAAAAA-2222-3333-4444-555555555555");
  EXPECT_EQ(TRUtils::IFA(), kVendorId);
  platform().advertisingIdentifierText().set("99999999-8888-7777-6666-555555555555");
  EXPECT_EQ(TRUtils::IFA(), "99999999-8888-7777-6666-555555555555");
}

TEST_F(TRUtilsTest, NetworkNamesAreReadAsTextWithBytesThatAreNotUtf8Replaced) {
  platform().wifiNetworkNameText().set(std::string("Caf\xE9\0x\xC3", 7));
  EXPECT_EQ(TRUtils::fetchSSIDInfo(), std::string("Caf\xEF\xBF\xBD\0x\xEF\xBF\xBD", 11));
}

TEST_F(TRUtilsTest, DeviceNamesComeFromTheTableOrTheFamily) {
  const std::pair<const char*, const char*> names[] = {
      {"iPhone7,1", "iPhone 6 Plus"}, {"iPad5,3", "iPad"}, {"x86_64", "x86_64"}};
  for (const auto& [machine, name] : names) {
    platform().device().setDescription({"Device", "Linux", "6.1", "Computer", machine});
    EXPECT_EQ(TRUtils::deviceName(), name) << machine;
  }
}

TEST(TRUtilsErrorTest, KnownCodesHaveTheirMessageAndOthersAreTheGenericError) {
  const Error known = TRUtils::errorWithCode(-9994);
  EXPECT_EQ(known,
            Error("Trevalo", -9994,
                  {{Error::kLocalizedDescriptionKey, "Cannot find venues at this location"}}));
  EXPECT_EQ(TRUtils::errorWithCode(-9997),
            Error("TRError", -888, {{Error::kLocalizedFailureReasonKey, "Unknown Trevalo error"}}));
}

TEST(TRUtilsTimeTest, MillisecondsTruncateAndSaturate) {
  const auto milliseconds = [](double seconds) {
    return TRUtils::millisecondsSince1970(Date(seconds));
  };
  EXPECT_EQ(milliseconds(1500000000.1234), 1500000000123u);
  for (const double before : {-0.0004, std::nan("")}) {
    EXPECT_EQ(milliseconds(before), 0u) << before;
  }
  for (const double beyond : {std::numeric_limits<double>::infinity(), 18446744073709551.616}) {
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
  TRUtils::addRollingData(std::optional<int>(), values, 120);
  TRUtils::addRollingData(std::shared_ptr<int>(), records, 120);
  ASSERT_EQ(records.size(), 120u);
  EXPECT_EQ(*records.front(), 1);
  EXPECT_EQ(*records.back(), 120);

  // A lowered limit trims a longer list in one step.
  TRUtils::addRollingData(121, values, 3);
  EXPECT_EQ(values, (std::deque<int>{119, 120, 121}));
}

}  // namespace
}  // namespace trevalo
