#include "trevalo/model/TRFilter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "model/ModelTestSupport.h"
#include "trevalo/model/TRSearchRequest.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using testing::CaseName;
using ::testing::ElementsAre;
using testing::PrintTo;

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

struct FilterCase {
  const char* name;
  std::shared_ptr<TRFilter> mine;
  std::shared_ptr<TRFilter> theirs;
  bool equal;
};

class TRFilterEqualityTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(TRFilterEqualityTest, FieldsSetHereMustMatchThere) {
  const auto& c = GetParam();
  EXPECT_EQ(c.mine->isEqual(c.theirs.get()), c.equal);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, TRFilterEqualityTest,
    ::testing::Values(
        FilterCase{"RadiusOnlyMatchesAnyOfThatRadius", filter(100), filter(100, "bar", "x", "a"),
                   true},
        FilterCase{"ButNotTheOtherWayRound", filter(100, "bar"), filter(100), false},
        FilterCase{"RadiusDiffers", filter(100), filter(100.5), false},
        FilterCase{"CategoryDiffers", filter(100, "food"), filter(100, "bar"), false},
        FilterCase{"CategoryMatches", filter(100, "food"), filter(100, "food", "Deli"), true},
        FilterCase{"NameDiffers", filter(0, {}, "Deli"), filter(0, {}, "deli"), false},
        FilterCase{"AddressDiffers", filter(0, {}, {}, "a1"), filter(0, {}, {}, "a2"), false},
        FilterCase{"AddressMissingThere", filter(0, {}, {}, "a1"), filter(0), false},
        FilterCase{"EmptyTextHereMatchesAnything", filter(5, "", "", ""),
                   filter(5, "food", "Deli", "a1"), true},
        FilterCase{"AllThreeMatch", filter(5, "food", "Deli", "a1"),
                   filter(5, "food", "Deli", "a1"), true}),
    CaseName());

TEST(TRFilterEqualityTest, NothingAndOtherRecordsAreNotFilters) {
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
  EXPECT_EQ(filter(100, "food", std::nullopt, "a1")->description(),
            "TRFilter: venueCategory: food; venueName: (null); radius:100 addressId:a1");
  EXPECT_EQ(filter(0.25)->description(),
            "TRFilter: venueCategory: (null); venueName: (null); radius:0.25 addressId:(null)");
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

TEST(TRSearchRequestTest, DefaultsToAKilometreAndAThousandResults) {
  const TRSearchRequest plain;
  EXPECT_EQ(plain.radius, 1000.0);
  EXPECT_EQ(plain.limit, 1000u);
  EXPECT_EQ(plain.location, std::nullopt);
  EXPECT_EQ(plain.category, std::nullopt);
  EXPECT_EQ(plain.query, std::nullopt);

  const Location here({48.85, 2.35}, 0, 5, -1, -1, -1, Date(1.0));
  const auto request = TRSearchRequest::requestWithLocation(here);
  EXPECT_EQ(request->location, here);
  EXPECT_EQ(request->radius, 1000.0);
  EXPECT_EQ(request->limit, 1000u);
}

struct LocationCase {
  const char* name;
  double latitude;
  double longitude;
  bool valid;
};

class TRSearchRequestLocationTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(TRSearchRequestLocationTest, AwayFromTheOriginByMoreThanAHundredthOfADegree) {
  const auto& c = GetParam();
  const auto request = TRSearchRequest::initWithLocation(
      Location({c.latitude, c.longitude}, 0, 5, -1, -1, -1, Date(1.0)));
  EXPECT_EQ(request->hasValidLocation(), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Coordinates, TRSearchRequestLocationTest,
    ::testing::Values(LocationCase{"LongitudeAway", 0.005, -0.02, true},
                      LocationCase{"OnTheLimit", 0.01, 0.01, false},
                      LocationCase{"LatitudeAway", -0.0101, 0.0, true},
                      LocationCase{"Origin", 0.0, 0.0, false},
                      LocationCase{"Paris", 48.85, 2.35, true},
                      LocationCase{"NaN", std::numeric_limits<double>::quiet_NaN(), 0.0, false}),
    CaseName());

TEST(TRSearchRequestLocationTest, NoLocationIsNotValid) {
  EXPECT_FALSE(TRSearchRequest().hasValidLocation());
}

}  // namespace
}  // namespace trevalo
