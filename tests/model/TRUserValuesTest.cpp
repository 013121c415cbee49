#include "trevalo/model/TRUserValues.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "model/ModelTestSupport.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/SimulatedPlatform.h"
#include "trevalo/utils/TRUtils.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::CaseName;
using testing::PrintTo;

std::shared_ptr<TRUserValues> values(const char* json) {
  return TRUserValues::initWithDictionary(Json::parse(json), false);
}

class TRUserValuesTest : public testing::PlatformTest {
 protected:
  void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    ASSERT_TRUE(platform().fileSystem().writeFileAtomically(
        path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
  }
};

// --- Stripping and merging -------------------------------------------------------------------

TEST(TRUserValuesStrippingTest, KeepsOnlySetUserAttributes) {
  const Json stripped = TRUserValues::getStrippedDictionary(Json::parse(
      R"({"name": "Ann", "age": 30, "favourite_colour": "red", "income": null, "os": "x"})"));
  EXPECT_EQ(stripped, Json::parse(R"({"name": "Ann", "age": 30})"));
}

TEST(TRUserValuesStrippingTest, KnowsAllTenAttributeKeys) {
  const Json all = Json::parse(R"({
      "identifier": "u-1", "name": "Ann", "gender": "f", "age": 30, "income": 50000,
      "occupation": "pilot", "marital_status": "single", "has_in_app_purchases": true,
      "in_app_purchases": 12.5, "date_installed": 1767225600})");
  EXPECT_EQ(TRUserValues::getStrippedDictionary(all).size(), 10u);
  EXPECT_EQ(TRUserValues::getStrippedDictionary(Json::array({"name"})), Json::object());
}

TEST(TRUserValuesStrippingTest, FilteredConstructionStripsAndUnfilteredKeepsAll) {
  const Json map = Json::parse(R"({"name": "Ann", "os": "Linux"})");
  EXPECT_EQ(TRUserValues::initWithDictionary(map, true)->dictionary,
            Json::parse(R"({"name": "Ann"})"));
  EXPECT_EQ(TRUserValues::initWithDictionary(map, false)->dictionary, map);
  EXPECT_FALSE(TRUserValues::initWithDictionary(Json("Ann"), false)->hasInfo())
      << "anything but a map is no values at all";
}

TEST(TRUserValuesStrippingTest, NewValuesOverwriteAndOthersStay) {
  auto record = values(R"({"name": "Ann", "age": 30})");
  record->updateWithNewValues(Json::parse(R"({"age": 31, "gender": null, "os": "x"})"));
  EXPECT_EQ(record->dictionary, Json::parse(R"({"name": "Ann", "age": 31})"));
  EXPECT_TRUE(record->hasInfo());
  EXPECT_FALSE(TRUserValues().hasInfo());
}

// --- The one-sided comparison ----------------------------------------------------------------

struct ComparisonCase {
  const char* name;
  const char* receiver;
  const char* other;  // nullptr: no record
  bool equal;
};

class TRUserValuesComparisonTest : public ::testing::TestWithParam<ComparisonCase> {};

TEST_P(TRUserValuesComparisonTest, AsksWhetherEverySetValueHereIsSetAlikeThere) {
  const auto& c = GetParam();
  const auto other = c.other ? values(c.other) : nullptr;
  EXPECT_EQ(values(c.receiver)->isEqualToUserValues(other), c.equal);
}

INSTANTIATE_TEST_SUITE_P(
    Records, TRUserValuesComparisonTest,
    ::testing::Values(
        ComparisonCase{"StoredSubsetOfNew", R"({"name": "Ann"})", R"({"name": "Ann", "age": 30})",
                       true},
        ComparisonCase{"NewSupersetOfStored", R"({"name": "Ann", "age": 30})", R"({"name": "Ann"})",
                       false},
        ComparisonCase{"ValueChanged", R"({"age": 30})", R"({"age": 31})", false},
        ComparisonCase{"SameNumberAnotherType", R"({"age": 30})", R"({"age": 30.0})", true},
        ComparisonCase{"NullHereIsSkipped", R"({"name": "Ann", "age": null})", R"({"name": "Ann"})",
                       true},
        ComparisonCase{"NullThereIsNotAValue", R"({"name": "Ann"})", R"({"name": null})", false},
        ComparisonCase{"EmptyReceiver", R"({})", R"({"name": "Ann"})", true},
        ComparisonCase{"NoOtherRecord", R"({"name": "Ann"})", nullptr, false}),
    CaseName());

// --- Wire forms and statistics ---------------------------------------------------------------

TEST_F(TRUserValuesTest, TheUploadBodyCarriesIdentifiersAndOneEntryPerValue) {
  platform().advertisingIdentifierText().set("AD-ID");
  platform().application().setBundleIdentifier("  com.example.app ");
  platform().device().overrideIdentifierForVendor("VENDOR-ID");

  const Json body = values(R"({"name": "Ann", "age": 30})")->toDictionary();

  EXPECT_EQ(body, Json::parse(R"({"device_id": "AD-ID", "vendor_id": "VENDOR-ID",
                                  "bundle_id": "com.example.app",
                                  "info": [{"key": "name", "value": "Ann"},
                                           {"key": "age", "value": 30}]})"));
}

TEST_F(TRUserValuesTest, AnEmptyRecordStillSendsInfoAndLeavesOutUnknownIdentifiers) {
  platform().device().overrideIdentifierForVendor(std::nullopt);

  const Json body = TRUserValues().toDictionary();

  EXPECT_EQ(body, Json::parse(R"({"info": []})"));
}

TEST_F(TRUserValuesTest, StatisticsDescribeTheDeviceTheSdkRunsOn) {
  platform().device().setDescription({"Phone", "Linux", "6.1.0", "Computer", "iPhone7,2"});
  platform().carrierNameText().set("Carrier One");

  const Json stats = TRUserValues::getActualStats();

  EXPECT_EQ(stats["os"], "Linux") << "never claims a phone system it is not on";
  EXPECT_EQ(stats["os_version"], "6.1.0");
  EXPECT_EQ(stats["carrier"], "Carrier One");
  EXPECT_EQ(stats["model"], "iPhone 6");
  EXPECT_EQ(stats["trevalo_version"], *TRUtils::version());
  EXPECT_EQ(stats.size(), 5u);
}

TEST_F(TRUserValuesTest, StatisticsWithoutACarrierLeaveItOutAndStayValid) {
  const auto stats = TRUserValues::actualStatsValues();

  EXPECT_FALSE(stats->dictionary.contains("carrier"));
  EXPECT_TRUE(stats->isValid());

  platform().carrierNameText().set("Carrier One");
  EXPECT_FALSE(stats->isValid()) << "a carrier appeared";
}

TEST_F(TRUserValuesTest, ValidityIgnoresTheOrderOfKeysButNotExtraOnes) {
  const Json stats = TRUserValues::getActualStats();
  std::vector<std::string> keys;
  for (const auto& [key, value] : stats.items())
    keys.push_back(key);
  Json reversed = Json::object();
  for (auto key = keys.rbegin(); key != keys.rend(); ++key)
    reversed[*key] = stats[*key];
  ASSERT_NE(reversed.begin().key(), stats.begin().key());

  EXPECT_TRUE(TRUserValues::initWithDictionary(reversed, false)->isValid());
  reversed["extra"] = 1;
  EXPECT_FALSE(TRUserValues::initWithDictionary(reversed, false)->isValid());
}

// --- The three files -------------------------------------------------------------------------

struct StoreCase {
  const char* name;
  bool (*save)(const std::shared_ptr<const TRUserValues>&);
  std::shared_ptr<TRUserValues> (*load)();
  const char* fileName;
};

class TRUserValuesStoreTest : public TRUserValuesTest,
                              public ::testing::WithParamInterface<StoreCase> {};

TEST_P(TRUserValuesStoreTest, SavesReplacesAndClears) {
  const auto& store = GetParam();
  EXPECT_EQ(store.load(), nullptr) << "nothing stored yet";

  ASSERT_TRUE(store.save(values(R"({"name": "Ann", "age": 30})")));
  EXPECT_TRUE(std::filesystem::exists(documentsDirectory() / store.fileName));
  ASSERT_TRUE(store.save(values(R"({"name": "Bob"})")));
  const auto loaded = store.load();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->dictionary, Json::parse(R"({"name": "Bob"})"));

  ASSERT_TRUE(store.save(nullptr));
  EXPECT_EQ(store.load(), nullptr);
}

TEST_P(TRUserValuesStoreTest, ADamagedFileReadsAsNothing) {
  const auto& store = GetParam();
  writeFile(documentsDirectory() / store.fileName, "not an archive at all");
  EXPECT_EQ(store.load(), nullptr);
}

TEST_P(TRUserValuesStoreTest, AFileHoldingAnotherRecordReadsAsNothing) {
  const auto& store = GetParam();
  ASSERT_TRUE(platform::KeyedArchiver::archiveRootObject(std::make_shared<TRVenue>(),
                                                         documentsDirectory() / store.fileName));
  EXPECT_EQ(store.load(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, TRUserValuesStoreTest,
                         ::testing::Values(StoreCase{"SentUser", TRUserValues::saveSentUser,
                                                     TRUserValues::getSavedUser, "saveduser"},
                                           StoreCase{"FailedUser", TRUserValues::saveFailedUser,
                                                     TRUserValues::getFailedUser, "faileduser"},
                                           StoreCase{"Stats", TRUserValues::saveStats,
                                                     TRUserValues::getCurrentStats, "userstats"}),
                         CaseName());

TEST_F(TRUserValuesTest, TheArchiveHoldsTheDictionaryUnderItsKey) {
  const auto record = values(R"({"name": "Ann", "nested": {"a": [1, 2]}})");
  EXPECT_EQ(testing::archiveRoundTrip(record)->dictionary, record->dictionary);
  EXPECT_EQ(archivedKeys(record, "TRUserValues"), std::vector<std::string>{"self.dictionary"});
}

}  // namespace
}  // namespace trevalo
