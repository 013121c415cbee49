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
  // A degree of latitude is longer near the pole than at the equator on the ellipsoid.
  EXPECT_NEAR(at(0, 0).distanceFromLocation(at(1, 0)), 110574.4, 0.1);
  EXPECT_NEAR(at(89, 0).distanceFromLocation(at(90, 0)), 111693.9, 0.1);
  EXPECT_TRUE(std::isnan(at(-180, -180).distanceFromLocation(at(0, 0))));
  EXPECT_TRUE(Coordinate({-90, 180}).isValid());
  EXPECT_FALSE(Coordinate({90.0001, 0}).isValid());
  EXPECT_FALSE(Coordinate({std::nan(""), 0}).isValid());
}

class LocationNowTest : public testing::PlatformTest {};

TEST_F(LocationNowTest, ACoordinateOnlyFixIsStampedWithThePlatformClock) {
  advanceBy(42.0);
  const Location fix({1.0, 2.0});
  EXPECT_EQ(fix.timestamp(), now());
  EXPECT_LT(fix.verticalAccuracy(), 0.0);
  EXPECT_EQ(fix.description(),
            "<+1.00000000,+2.00000000> +/- 0.00m (speed -1.00 mps / course -1.00) @ 2026-01-01 "
            "00:00:42 +0000");
}

}  // namespace
}  // namespace trevalo::platform
