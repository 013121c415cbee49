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

using testing::CaseName;
using testing::PrintTo;

std::shared_ptr<TRUserValues> values(const char* json) {
  return TRUserValues::initWithDictionary(Json::parse(json), false);
}

class TRUserValuesTest : public testing::PlatformTest {};

// --- Stripping and merging -------------------------------------------------------------------

TEST(TRUserValuesStrippingTest, KeepsOnlyTheTenUserAttributesThatAreSet) {
  const Json attributes = Json::parse(R"({
      "identifier": "u-1", "name": "Ann", "gender": "f", "age": 30, "income": 50000,
      "occupation": "pilot", "marital_status": "single", "has_in_app_purchases": true,
      "in_app_purchases": 12.5, "date_installed": 1767225600})");
  Json given = attributes;
  given["favourite_colour"] = "red";
  given["os"] = "x";
  given["income"] = nullptr;
  Json expected = attributes;
  expected.erase("income");

  EXPECT_EQ(TRUserValues::getStrippedDictionary(given), expected);
  EXPECT_EQ(TRUserValues::initWithDictionary(given, true)->dictionary, expected);
  EXPECT_EQ(TRUserValues::initWithDictionary(given, false)->dictionary, given) << "unfiltered";
  EXPECT_EQ(TRUserValues::getStrippedDictionary(Json::array({"name"})), Json::object());
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

// One-sided: is every value set here set alike there?
TEST(TRUserValuesComparisonTest, AsksWhetherEverySetValueHereIsSetAlikeThere) {
  const struct {
    const char *name, *receiver, *other;  // other nullptr: no record
    bool equal;
  } cases[] = {
      {"StoredSubsetOfNew", R"({"name": "Ann"})", R"({"name": "Ann", "age": 30})", true},
      {"NewSupersetOfStored", R"({"name": "Ann", "age": 30})", R"({"name": "Ann"})", false},
      {"ValueChanged", R"({"age": 30})", R"({"age": 31})", false},
      {"SameNumberAnotherType", R"({"age": 30})", R"({"age": 30.0})", true},
      {"NullHereIsSkipped", R"({"name": "Ann", "age": null})", R"({"name": "Ann"})", true},
      {"NullThereIsNotAValue", R"({"name": "Ann"})", R"({"name": null})", false},
      {"NoOtherRecord", R"({"name": "Ann"})", nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values(c.receiver)->isEqualToUserValues(c.other ? values(c.other) : nullptr), c.equal)
        << c.name;
  }
}

// --- Wire forms and statistics ---------------------------------------------------------------

TEST_F(TRUserValuesTest, TheUploadBodyCarriesIdentifiersAndOneEntryPerValue) {
  platform().advertisingIdentifierText().set("AD-ID");
  platform().application().setBundleIdentifier("  com.example.app ");
  platform().device().overrideIdentifierForVendor("VENDOR-ID");

  EXPECT_EQ(values(R"({"name": "Ann", "age": 30})")->toDictionary(),
            Json::parse(R"({"device_id": "AD-ID", "vendor_id": "VENDOR-ID",
                            "bundle_id": "com.example.app",
                            "info": [{"key": "name", "value": "Ann"},
                                     {"key": "age", "value": 30}]})"));

  platform().advertisingIdentifierText().set(std::nullopt);
  platform().application().setBundleIdentifier(std::nullopt);
  platform().device().overrideIdentifierForVendor(std::nullopt);
  EXPECT_EQ(TRUserValues().toDictionary(), Json::parse(R"({"info": []})"))
      << "unknown identifiers are left out, the info list never";
}

TEST_F(TRUserValuesTest, StatisticsDescribeTheDeviceTheSdkRunsOn) {
  platform().device().setDescription({"Phone", "Linux", "6.1.0", "Computer", "iPhone7,2"});
  EXPECT_FALSE(TRUserValues::getActualStats().contains("carrier"));
  const auto carrierless = TRUserValues::actualStatsValues();
  EXPECT_TRUE(carrierless->isValid());
  platform().carrierNameText().set("Carrier One");
  EXPECT_FALSE(carrierless->isValid()) << "a carrier appeared";

  const Json stats = TRUserValues::getActualStats();

  EXPECT_EQ(stats["os"], "Linux") << "never claims a phone system it is not on";
  EXPECT_EQ(stats["os_version"], "6.1.0");
  EXPECT_EQ(stats["carrier"], "Carrier One");
  EXPECT_EQ(stats["model"], "iPhone 6");
  EXPECT_EQ(stats["trevalo_version"], *TRUtils::version());
  EXPECT_EQ(stats.size(), 5u);

  // Validity ignores the order of keys but not extra ones.
  Json reversed = Json::object();
  for (auto entry = stats.rbegin(); entry != stats.rend(); ++entry)
    reversed[entry.key()] = entry.value();
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

TEST_P(TRUserValuesStoreTest, ADamagedOrForeignFileReadsAsNothing) {
  const auto path = documentsDirectory() / GetParam().fileName;
  const std::string bytes = "not an archive at all";
  ASSERT_TRUE(platform().fileSystem().writeFileAtomically(
      path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
  EXPECT_EQ(GetParam().load(), nullptr);

  ASSERT_TRUE(platform::KeyedArchiver::archiveRootObject(std::make_shared<TRVenue>(), path));
  EXPECT_EQ(GetParam().load(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, TRUserValuesStoreTest,
                         ::testing::Values(StoreCase{"SentUser", TRUserValues::saveSentUser,
                                                     TRUserValues::getSavedUser, "saveduser"},
                                           StoreCase{"FailedUser", TRUserValues::saveFailedUser,
                                                     TRUserValues::getFailedUser, "faileduser"},
                                           StoreCase{"Stats", TRUserValues::saveStats,
                                                     TRUserValues::getCurrentStats, "userstats"}),
                         CaseName());

TEST(TRUserValuesArchiveTest, TheArchiveHoldsTheDictionaryUnderItsKey) {
  const auto record = values(R"({"name": "Ann", "nested": {"a": [1, 2]}})");
  EXPECT_EQ(testing::archiveRoundTrip(record)->dictionary, record->dictionary);
  EXPECT_EQ(testing::archivedKeys(record, "TRUserValues"),
            std::vector<std::string>{"self.dictionary"});
}

}  // namespace
}  // namespace trevalo
