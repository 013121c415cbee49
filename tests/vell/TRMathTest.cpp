#include "trevalo/vell/TRMath.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

namespace trevalo {
namespace {

TEST(TRMathTest, ChordDistanceIsTheStraightLineThroughTheSphere) {
  const struct {
    const char* name;
    Coordinate from, to;
    double metres, tolerance;
  } cases[] = {
      {"MilliDegreeAtTheEquator", {0, 0}, {0, 0.001}, 111.3195, 1e-4},
      {"MilliDegreeOfLatitudeAt45", {45, 10}, {45.001, 10}, 111.3195, 1e-4},
      {"AcrossTheGlobe", {0, 0}, {0, 180}, 2 * TRMath::kEarthRadius, 1e-6},
      {"PoleToPole", {90, 0}, {-90, 0}, 2 * TRMath::kEarthRadius, 1e-6},
      {"TwoNamesOfTheNorthPole", {90, 0}, {90, 50}, 0, 1e-6},
      {"InvalidCoordinateIsTheOrigin", kCoordinateInvalid, {0, 0}, 0, 1e-6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(TRMath::vellDistanceFromLocation(c.from, c.to), c.metres, c.tolerance);
    EXPECT_EQ(TRMath::vellDistanceFromLocation(c.from, c.to),
              TRMath::vellDistanceFromLocation(c.to, c.from));
  }
}

TEST(TRMathTest, PointToLatLngInvertsLatLngToPoint) {
  for (const Coordinate coordinate :
       {Coordinate{48.85, 2.35}, Coordinate{-33.9, 151.2}, Coordinate{0, -179.5}}) {
    const Coordinate back = TRMath::pointToLatLng(TRMath::latLngToPoint(coordinate));
    EXPECT_NEAR(back.latitude, coordinate.latitude, 1e-9);
    EXPECT_NEAR(back.longitude, coordinate.longitude, 1e-9);
  }
  const TRVector east = TRMath::latLngToPoint({0, 90});
  EXPECT_NEAR(east.x, 0, 1e-6);
  EXPECT_NEAR(east.y, TRMath::kEarthRadius, 1e-6);
  EXPECT_NEAR(east.z, 0, 1e-6);

  // Just beyond the sphere at a pole is the pole, not NaN.
  EXPECT_EQ(TRMath::pointToLatLng({0, 0, TRMath::kEarthRadius * (1 + 1e-15)}).latitude, 90.0);
}

TEST(TRMathTest, LengthsDistancesAndDirections) {
  EXPECT_EQ(TRMath::lengthOfVector({3, 4, 12}), 13.0);
  EXPECT_EQ(TRMath::distanceBetweenVector({1, 2, 3}, {4, 6, 15}), 13.0);
  const TRVector unit = TRMath::normalizeVector({3, 4, 12});
  EXPECT_NEAR(TRMath::lengthOfVector(unit), 1.0, 1e-15);
  EXPECT_NEAR(unit.x, 3.0 / 13.0, 1e-15);
  EXPECT_EQ(TRMath::normalizeVector({0, 0, 0}), TRVector(0, 0, 0));
}

// The window of at most `count` items starting `n` items before the end, clipped to the list.
TEST(TRMathTest, GetLastItemsFromCopiesTheWindowFromVectorsAndDeques) {
  constexpr auto kHuge = std::numeric_limits<std::uint64_t>::max();
  const struct {
    std::size_t size;
    std::uint64_t n, count;
    int first;
    std::size_t length;
  } cases[] = {{25, 40, 40, 0, 25}, {25, 0, 0, 0, 0},          {25, 10, 10, 15, 10},
               {20, 10, 3, 10, 3},  {20, 20, 5, 0, 5},         {20, 19, 100, 1, 19},
               {0, 5, 5, 0, 0},     {20, kHuge, kHuge, 0, 20}, {20, 3, kHuge, 17, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "size " << c.size << " n " << c.n << " count " << c.count);
    std::vector<int> expected(c.length);
    std::iota(expected.begin(), expected.end(), c.first);
    std::vector<int> vector(c.size);
    std::iota(vector.begin(), vector.end(), 0);
    const std::deque<int> deque(vector.begin(), vector.end());

    EXPECT_EQ(TRMath::getLastItemsFrom(vector, c.n, c.count), expected);
    EXPECT_EQ(TRMath::getLastItemsFrom(deque, c.n, c.count), expected);
    if (c.n == c.count) {
      EXPECT_EQ(TRMath::getLastItemsFrom(vector, c.n), expected);
    }
  }
}

TEST(TRVectorTest, AMeaningfulValueExceedsAHundredThousandthOnXOrATenThousandthOnYOrZ) {
  const std::pair<TRVector, bool> cases[] = {{{0.00001, 0.0001, 0.0001}, false},
                                             {{-0.00001, -0.0001, -0.0001}, false},
                                             {{0.000011, 0, 0}, true},
                                             {{-0.000011, 0, 0}, true},
                                             {{0, 0.00011, 0}, true},
                                             {{0, 0, -0.00011}, true},
                                             {{0, 0.00005, 0.00005}, false},
                                             {{0, 0, 0}, false}};
  for (const auto& [vector, meaningful] : cases)
    EXPECT_EQ(vector.hasMeaningfulValue(), meaningful) << vector.description();
}

TEST(TRVectorTest, DescriptionWritesShortestNumbers) {
  EXPECT_EQ(TRVector(1, 0.25, -9.81).description(), "x:1 y:0.25 z:-9.81");
  EXPECT_EQ(TRVector(0.1 + 0.2, 1e21, 0).description(), "x:0.30000000000000004 y:1e+21 z:0");
}

}  // namespace
}  // namespace trevalo
