#include "trevalo/model/TRUserValues.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "support/PlatformTest.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace trevalo {
namespace {

std::shared_ptr<TRUserValues> values(const char* json) {
  return TRUserValues::initWithDictionary(Json::parse(json), false);
}

class TRUserValuesTest : public testing::PlatformTest {};

// Only the user attributes that are set survive stripping and merging; merging overwrites.
TEST(TRUserValuesDictionaryTest, StrippingAndMerging) {
  const Json given = Json::parse(R"({"name": "Ann", "marital_status": "single", "income": null,
      "date_installed": 1767225600, "favourite_colour": "red", "os": "x"})");
  EXPECT_EQ(TRUserValues::initWithDictionary(given, true)->dictionary,
            Json::parse(R"({"name": "Ann", "marital_status": "single",
                            "date_installed": 1767225600})"));

  auto record = values(R"({"name": "Ann", "age": 30})");
  record->updateWithNewValues(Json::parse(R"({"age": 31, "gender": null, "os": "x"})"));
  EXPECT_EQ(record->dictionary, Json::parse(R"({"name": "Ann", "age": 31})"));
}

// Whether values compare equal to those last sent, which skips their upload.
struct Comparison {
  const char* name;
  const char* sent;
  const char* now;
  bool same;
};

class TRUserValuesComparisonTest : public ::testing::TestWithParam<Comparison> {};

TEST_P(TRUserValuesComparisonTest, TheSameOnlyWithTheSameEntriesWhicheverSideAsks) {
  const auto& c = GetParam();
  EXPECT_EQ(values(c.sent)->isEqualToUserValues(values(c.now)), c.same);
  EXPECT_EQ(values(c.now)->isEqualToUserValues(values(c.sent)), c.same);
}

const Comparison kComparisons[] = {
    {"SameEntriesInAnotherOrder", R"({"name": "Ann", "age": 30})", R"({"age": 30, "name": "Ann"})",
     true},
    {"OneAdded", R"({"name": "Ann"})", R"({"name": "Ann", "age": 30})", false},
    {"ValueChanged", R"({"name": "Ann", "age": 30})", R"({"name": "Ann", "age": 31})", false},
    {"KindChanged", R"({"age": 30})", R"({"age": "30"})", false},
    {"NumbersAlike", R"({"age": 31})", R"({"age": 31.0})", true},
    {"NullIsNoEntry", R"({"name": "Ann", "gender": null})", R"({"name": "Ann"})", true},
    {"BothEmpty", "{}", "{}", true},
    {"OneEmpty", "{}", R"({"name": "Ann"})", false}};
INSTANTIATE_TEST_SUITE_P(Records, TRUserValuesComparisonTest, ::testing::ValuesIn(kComparisons),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TRUserValuesDictionaryTest, NoRecordIsAnEmptyOne) {
  EXPECT_TRUE(values("{}")->isEqualToUserValues(nullptr));
  EXPECT_FALSE(values(R"({"name": "Ann"})")->isEqualToUserValues(nullptr));
}

TEST_F(TRUserValuesTest, UploadBodyAndStatisticsDescribeThisDevice) {
  platform().advertisingIdentifierText().set("AD-ID");
  platform().application().setBundleIdentifier("  com.example.app ");
  platform().device().overrideIdentifierForVendor(std::nullopt);
  EXPECT_EQ(values(R"({"name": "Ann", "age": 30})")->toDictionary(),
            Json::parse(R"({"device_id": "AD-ID", "bundle_id": "com.example.app",
                            "info": [{"key": "name", "value": "Ann"},
                                     {"key": "age", "value": 30}]})"));

  platform().device().setDescription({"Phone", "Linux", "6.1.0", "Computer", "iPhone7,2"});
  const auto carrierless = TRUserValues::actualStatsValues();
  platform().carrierNameText().set("Carrier One");
  EXPECT_FALSE(carrierless->isValid()) << "a carrier appeared";
  const Json stats = TRUserValues::getActualStats();
  EXPECT_EQ(stats["os"], "Linux") << "never claims a phone system it is not on";
  EXPECT_TRUE(TRUserValues::actualStatsValues()->isValid());
}

// Each file is replaced whole, and a damaged one reads as nothing.
TEST_F(TRUserValuesTest, EachFileSavesReplacesClearsAndRefusesDamage) {
  const struct {
    bool (*save)(const std::shared_ptr<const TRUserValues>&);
    std::shared_ptr<TRUserValues> (*load)();
    const char* fileName;
  } stores[] = {{TRUserValues::saveSentUser, TRUserValues::getSavedUser, "saveduser"},
                {TRUserValues::saveFailedUser, TRUserValues::getFailedUser, "faileduser"},
                {TRUserValues::saveStats, TRUserValues::getCurrentStats, "userstats"}};
  for (const auto& store : stores) {
    SCOPED_TRACE(store.fileName);
    ASSERT_TRUE(store.save(values(R"({"name": "Ann", "age": 30})")));
    ASSERT_TRUE(store.save(values(R"({"name": "Bob"})")));
    ASSERT_NE(store.load(), nullptr);
    EXPECT_EQ(store.load()->dictionary, Json::parse(R"({"name": "Bob"})"));
    ASSERT_TRUE(store.save(nullptr));
    EXPECT_EQ(store.load(), nullptr);

    const std::string bytes = "not an archive at all";
    ASSERT_TRUE(platform().fileSystem().writeFileAtomically(
        documentsDirectory() / store.fileName,
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
    EXPECT_EQ(store.load(), nullptr);
  }
}

}  // namespace
}  // namespace trevalo
