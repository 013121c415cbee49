// The venue table: distances to outlines, and GeoJSON it refuses.
#include "service/VenueTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"

namespace trevalo::service {
namespace {

using ::testing::HasSubstr;

// Which venue is nearest, inside an outline or not, and what the table reads of each feature
// are ReferenceServiceTest's, through the answers the SDK gets.
TEST(VenueTableTest, TheDistanceToAnOutlineIsToItsNearestWall) {
  const VenueTable table = VenueTable::fromGeoJson(testing::kVenues);
  const Venue& cafe = *table.find("cafe");
  EXPECT_EQ(cafe.outline.size(), 4u);  // the closing vertex is not kept twice
  const auto inside = VenueTable::distance(cafe, {48.85015, 2.35038});
  EXPECT_TRUE(inside.inside);
  EXPECT_EQ(inside.distance, 0.0);
  // 20 m south of the café's south wall: the distance is to the wall, not the centre.
  const auto outside = VenueTable::distance(cafe, {48.85 - 20.0 / 111195.0, 2.3502});
  EXPECT_FALSE(outside.inside);
  EXPECT_NEAR(outside.distance, 20.0, 0.2);
}

TEST(VenueTableTest, RefusesFilesItCannotUseNamingTheFeature) {
  const std::pair<const char*, const char*> cases[] = {
      {"[1, 2]", "FeatureCollection"},
      {R"({"type": "FeatureCollection", "features": [{"type": "Feature", "properties": {},
           "geometry": {"type": "Point", "coordinates": [2, 48]}}]})",
       "feature 0: no \"id\""},
      {R"({"type": "FeatureCollection", "features": [{"type": "Feature", "id": "a",
           "geometry": {"type": "LineString", "coordinates": [[2, 48], [3, 49]]}}]})",
       "neither Point nor Polygon"},
      {R"({"type": "FeatureCollection", "features": [{"type": "Feature", "id": "a",
           "geometry": {"type": "Point", "coordinates": [200, 48]}}]})",
       "out of range"},
      {R"({"type": "FeatureCollection", "features": [
           {"type": "Feature", "id": "a", "geometry": {"type": "Point", "coordinates": [2, 48]}},
           {"type": "Feature", "id": "a", "geometry": {"type": "Point", "coordinates": [2, 48]}}]})",
       "feature 1: the id \"a\" is taken"},
      {"{", "not valid JSON"}};
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    try {
      VenueTable::fromGeoJson(text);
      FAIL();
    } catch (const VenueTableError& error) {
      EXPECT_THAT(error.what(), HasSubstr(message));
    }
  }
}

}  // namespace
}  // namespace trevalo::service
