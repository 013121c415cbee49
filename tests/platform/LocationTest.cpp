#include "trevalo/platform/Location.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/PlatformTest.h"

namespace trevalo::platform {
namespace {

Location at(double latitude, double longitude) {
  return Location({latitude, longitude}, 0, 5, -1, -1, -1, Date(0));
}

TEST(LocationTest, GeodesicDistanceOnTheEllipsoid) {
  EXPECT_NEAR(at(0, 0).distanceFromLocation(at(0, 0.001)), 111.3195, 1e-4);
  // A degree of latitude is longer near the pole than at the equator on the ellipsoid.
  EXPECT_NEAR(at(0, 0).distanceFromLocation(at(1, 0)), 110574.4, 0.1);
  EXPECT_NEAR(at(89, 0).distanceFromLocation(at(90, 0)), 111693.9, 0.1);
  EXPECT_EQ(at(10, 20).distanceFromLocation(at(10, 20)), 0.0);
  EXPECT_DOUBLE_EQ(at(1, 2).distanceFromLocation(at(3, 4)),
                   at(3, 4).distanceFromLocation(at(1, 2)));
  EXPECT_TRUE(std::isnan(at(-180, -180).distanceFromLocation(at(0, 0))));
}

TEST(LocationTest, CoordinateValidity) {
  EXPECT_FALSE(kCoordinateInvalid.isValid());
  EXPECT_TRUE(Coordinate({90, 180}).isValid());
  EXPECT_TRUE(Coordinate({-90, -180}).isValid());
  EXPECT_FALSE(Coordinate({90.0001, 0}).isValid());
  EXPECT_FALSE(Coordinate({0, 180.5}).isValid());
  EXPECT_FALSE(Coordinate({std::nan(""), 0}).isValid());
}

class LocationNowTest : public testing::PlatformTest {};

TEST_F(LocationNowTest, ACoordinateOnlyFixIsStampedWithThePlatformClock) {
  advanceBy(42.0);
  const Location fix({1.0, 2.0});
  EXPECT_EQ(fix.timestamp(), now());
  EXPECT_EQ(fix.horizontalAccuracy(), 0.0);
  EXPECT_LT(fix.verticalAccuracy(), 0.0);
  EXPECT_LT(fix.course(), 0.0);
  EXPECT_LT(fix.speed(), 0.0);
  EXPECT_EQ(fix.description().substr(0, 25), "<+1.00000000,+2.00000000>");
  EXPECT_NE(fix.description().find("2026-01-01 00:00:42 +0000"), std::string::npos);
}

}  // namespace
}  // namespace trevalo::platform
