#include "trevalo/model/TRGeofence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/ModelTestSupport.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using ::testing::ElementsAre;
using testing::readModelJson;
using testing::snapshot;

TEST(TRGeofenceTest, OneGeofenceOf100MetresPerElement) {
  const auto geofences = TRGeofence::geofencesWithJson(readModelJson("geofences.json"));

  ASSERT_TRUE(geofences.has_value());
  ASSERT_EQ(geofences->size(), 3u);
  const auto& coffee = geofences->at(0);
  EXPECT_EQ(coffee->center, (Coordinate{40.741895, -73.989308}))
      << "from \"latitude\"/\"longitude\", not the address record's \"lat\"/\"lng\"";
  EXPECT_EQ(coffee->description(),
            "TRGeofence: venue:Blue Door Coffee; center: 40.741895,-73.989308; radius: 100");
  EXPECT_EQ(coffee->venue->venueId, "v-5821");
  EXPECT_EQ(geofences->at(1)->center, (Coordinate{0.0, 0.0})) << "no address";
  EXPECT_EQ(geofences->at(1)->radius, 100.0);
  EXPECT_EQ(snapshot(geofences->at(2)->venue), snapshot(std::make_shared<TRVenue>()))
      << "a null element still gives a geofence, with an empty venue";

  EXPECT_EQ(TRGeofence::geofencesWithJson(Json::object({{"id", "v"}})), std::nullopt);
  EXPECT_EQ(TRGeofence::geofencesWithJson(Json()), std::nullopt);
  EXPECT_EQ(TRGeofence::geofencesWithJson(Json::array())->size(), 0u);
  EXPECT_EQ(TRGeofence::initWithCoordinate({0.5, 0}, 12.5)->description(),
            "TRGeofence: venue:(null); center: 0.5,0; radius: 12.5");
}

TEST(TRGeofenceTest, ARoundTripKeepsCentreRadiusAndVenue) {
  const auto geofence = TRGeofence::geofencesWithJson(readModelJson("geofences.json"))->front();
  geofence->radius = 42.25;

  const auto restored = archiveRoundTrip(geofence);

  EXPECT_EQ(restored->center, geofence->center);
  EXPECT_EQ(restored->radius, 42.25);
  EXPECT_EQ(snapshot(restored->venue), snapshot(geofence->venue));
  EXPECT_THAT(
      archivedKeys(geofence, "TRGeofence"),
      ElementsAre("self.center.latitude", "self.center.longitude", "self.radius", "self.venue"));
}

}  // namespace
}  // namespace trevalo
