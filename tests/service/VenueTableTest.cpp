// The venue table: reading GeoJSON, and the nearest venue to a point.
#include "service/VenueTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"

namespace trevalo::service {
namespace {

using ::testing::HasSubstr;

TEST(VenueTableTest, ReadsPointsAndOutlinesWithTheirAddresses) {
  const VenueTable table = VenueTable::fromGeoJson(testing::kVenues);
  ASSERT_EQ(table.venues().size(), 4u);
  const Venue& cafe = *table.find("cafe");
  EXPECT_EQ(cafe.name, "Café Lumière");
  EXPECT_EQ(cafe.addressId, "a-cafe");
  EXPECT_EQ(cafe.outline.size(), 4u);  // the closing vertex is not kept twice
  EXPECT_NEAR(cafe.center.latitude, 48.85015, 1e-9);
  EXPECT_EQ(cafe.addressJson()["street_name"], "Rue Haute");
  EXPECT_EQ(cafe.geometryJson()["type"], "Polygon");
  EXPECT_EQ(table.find("office")->addressId, "a-7");
  EXPECT_EQ(table.find("nowhere"), nullptr);
}

TEST(VenueTableTest, AnOutlineHoldingThePointWinsOverANearerPoint) {
  const VenueTable table = VenueTable::fromGeoJson(testing::kVenues);
  // Inside the café, near its east wall, 45 m from the bakery's point.
  const auto inside = table.nearest({48.85015, 2.35038}, 150, 5);
  ASSERT_EQ(inside.size(), 2u);
  EXPECT_EQ(inside[0].venue->id, "cafe");
  EXPECT_TRUE(inside[0].inside);
  EXPECT_EQ(inside[0].distance, 0.0);
  EXPECT_EQ(inside[1].venue->id, "bakery");
  // 20 m south of the café's south wall: the distance is to the wall, not the centre.
  const auto outside = VenueTable::distance(*table.find("cafe"), {48.85 - 20.0 / 111195.0, 2.3502});
  EXPECT_FALSE(outside.inside);
  EXPECT_NEAR(outside.distance, 20.0, 0.2);
  // Beyond the radius, or refused by the filter: nothing.
  EXPECT_TRUE(table.nearest({48.80, 2.35}, 150, 5).empty());
  EXPECT_EQ(table
                .nearest({48.85015, 2.35038}, 150, 5,
                         [](const Venue& venue) { return venue.subcategory == "bakery"; })
                .front()
                .venue->id,
            "bakery");
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
