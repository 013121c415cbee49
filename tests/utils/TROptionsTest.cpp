#include "trevalo/utils/TROptions.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/ArchiveRegistry.h"
#include "platform/KeyedArchiver.h"
#include "support/PlatformTest.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/utils/TRConstants.h"
#include "utils/TRUtils.h"

namespace trevalo {
namespace {

std::shared_ptr<TRFilter> filter(std::optional<std::string> category, double radius) {
  auto made = std::make_shared<TRFilter>();
  made->venueCategory = std::move(category);
  made->venueName = "Corner";
  made->addressId = "a-1";
  made->radius = radius;
  return made;
}

// A record no registry knows.
struct Stranger final : platform::Archivable {
  std::string archiveClassName() const override { return "Stranger"; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.encodeInt(7, "seven");
  }
};

using TROptionsTest = testing::PlatformTest;

TEST_F(TROptionsTest, KeptOptionsComeBackWholeWithTheirFilterRecords) {
  platform::ArchiveRegistry::shared().registerClass<TRFilter>();
  const TROptions options{{TROptionTimedUpdatesInterval, 30.0},
                          {TROptionWhenInUseOnly, true},
                          {"_DEBUG_MODE", "6"},
                          {TROptionFilter, std::vector{filter("food", 125.5), filter({}, 0.0)}},
                          {"nothing", std::vector<std::shared_ptr<TRFilter>>{}}};
  TRUtils::saveOptions(options);
  const auto read = TRUtils::options();
  ASSERT_TRUE(read.has_value());
  // Records compare by their archive; which fields a filter archives is TRPlaceTest's.
  EXPECT_EQ(*read, options);
  EXPECT_EQ(read->jsonValues(), Json::parse(R"({"_DEBUG_MODE": "6", "timed_updates_interval": 30.0,
                            "when_in_use_only": true})"));

  TRUtils::saveOptions(std::nullopt);
  EXPECT_EQ(TRUtils::options(), std::nullopt);
  // Options holding a record nobody can read back read as none at all.
  TRUtils::saveOptions(TROptions{{"stranger", std::vector{std::make_shared<Stranger>()}}});
  EXPECT_EQ(TRUtils::options(), std::nullopt);
}

TEST(TROptionValueTest, RecordsAreEqualWhenTheyArchiveAlike) {
  const auto food = filter("food", 10.0);
  const struct {
    const char* name;
    TROptionValue left;
    TROptionValue right;
    bool equal;
  } cases[] = {
      {"same JSON", 30.0, 30.0, true},
      {"other JSON", 30.0, 31.0, false},
      {"a record copied", std::vector{food}, std::vector{filter("food", 10.0)}, true},
      {"another radius", std::vector{food}, std::vector{filter("food", 10.5)}, false},
      {"one category missing", std::vector{food}, std::vector{filter({}, 10.0)}, false},
      {"another length", std::vector{food}, std::vector{food, food}, false},
      {"null entries", std::vector<std::shared_ptr<TRFilter>>{nullptr},
       std::vector<std::shared_ptr<TRFilter>>{nullptr}, true},
      {"a null entry and a record", std::vector<std::shared_ptr<TRFilter>>{nullptr},
       std::vector{food}, false},
      {"records and JSON", std::vector<std::shared_ptr<TRFilter>>{}, Json::array(), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.left == c.right, c.equal) << c.name;
    EXPECT_EQ(c.right == c.left, c.equal) << c.name;
  }
}

}  // namespace
}  // namespace trevalo
