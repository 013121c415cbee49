#include "trevalo/model/TRFilter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "model/ModelTestSupport.h"
#include "trevalo/model/TRSearchRequest.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using ::testing::ElementsAre;

std::shared_ptr<TRFilter> filter(double radius, std::optional<std::string> category = {},
                                 std::optional<std::string> name = {},
                                 std::optional<std::string> addressId = {}) {
  auto result = std::make_shared<TRFilter>();
  result->radius = radius;
  result->venueCategory = std::move(category);
  result->venueName = std::move(name);
  result->addressId = std::move(addressId);
  return result;
}

// One-sided: every field set here must match there, and the radius always.
TEST(TRFilterTest, EqualityAsksWhetherTheFieldsSetHereMatchThere) {
  const struct {
    const char* name;
    std::shared_ptr<TRFilter> mine, theirs;
    bool equal;
  } cases[] = {
      {"RadiusOnlyMatchesAnyOfThatRadius", filter(100), filter(100, "bar", "x", "a"), true},
      {"ButNotTheOtherWayRound", filter(100, "bar"), filter(100), false},
      {"RadiusDiffers", filter(100), filter(100.5), false},
      {"CategoryDiffers", filter(100, "food"), filter(100, "bar"), false},
      {"NameDiffersInCase", filter(0, {}, "Deli"), filter(0, {}, "deli"), false},
      {"AddressMissingThere", filter(0, {}, {}, "a1"), filter(0), false},
      {"EmptyTextHereMatchesAnything", filter(5, "", "", ""), filter(5, "food", "Deli", "a1"),
       true},
      {"AllThreeMatch", filter(5, "food", "Deli", "a1"), filter(5, "food", "Deli", "a1"), true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.mine->isEqual(c.theirs.get()), c.equal) << c.name;
  EXPECT_FALSE(filter(100)->isEqual(nullptr));
  EXPECT_FALSE(filter(0)->isEqual(std::make_shared<TRVenue>().get()));
}

TEST(TRFilterTest, TheWireFormLeavesOutMissingFieldsAndTheRadius) {
  const Json array = TRFilter::toArray(
      {filter(100, std::nullopt, "Deli"), nullptr, filter(0, " food ", "", "a1")});
  EXPECT_EQ(array, Json::parse(R"([{"venue_name": "Deli"},
                                   {"venue_category": "food", "venue_name": "", "address_id": "a1"}])"));
  EXPECT_EQ(TRFilter::toArray({}), Json::array());
}

TEST(TRFilterTest, DescriptionShowsTheFourFields) {
  EXPECT_EQ(filter(0.25, "food", std::nullopt, "a1")->description(),
            "TRFilter: venueCategory: food; venueName: (null); radius:0.25 addressId:a1");
}

TEST(TRFilterTest, ARoundTripKeepsEveryField) {
  const auto original = filter(12.75, "food", "Deli", std::nullopt);

  const auto restored = archiveRoundTrip(original);

  EXPECT_EQ(restored->venueCategory, "food");
  EXPECT_EQ(restored->venueName, "Deli");
  EXPECT_EQ(restored->radius, 12.75);
  EXPECT_EQ(restored->addressId, std::nullopt);
  EXPECT_THAT(archivedKeys(original, "TRFilter"),
              ElementsAre("self.venueCategory", "self.venueName", "self.radius", "self.addressId"));
}

TEST(TRSearchRequestTest, ALocationIsValidAwayFromTheOriginByMoreThanAHundredthOfADegree) {
  const struct {
    double latitude, longitude;
    bool valid;
  } cases[] = {{0.005, -0.02, true},
               {-0.0101, 0.0, true},
               {0.01, 0.01, false},
               {0.0, 0.0, false},
               {std::numeric_limits<double>::quiet_NaN(), 0.0, false}};
  for (const auto& c : cases) {
    const auto request = TRSearchRequest::requestWithLocation(
        Location({c.latitude, c.longitude}, 0, 5, -1, -1, -1, Date(1.0)));
    EXPECT_EQ(request->hasValidLocation(), c.valid) << c.latitude << "," << c.longitude;
    EXPECT_EQ(request->radius, 1000.0);
  }
  EXPECT_FALSE(TRSearchRequest().hasValidLocation()) << "no location";
}

}  // namespace
}  // namespace trevalo
