#include "trevalo/vell/TRMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <numeric>
#include <ostream>
#include <vector>

namespace trevalo {
namespace {

struct ChordCase {
  const char* name;
  Coordinate from;
  Coordinate to;
  double metres;
  double tolerance;
};

void PrintTo(const ChordCase& c, std::ostream* out) {
  *out << c.name;
}

class TRMathChordTest : public ::testing::TestWithParam<ChordCase> {};

TEST_P(TRMathChordTest, MeasuresTheStraightLineThroughTheSphere) {
  const ChordCase& c = GetParam();
  EXPECT_NEAR(TRMath::vellDistanceFromLocation(c.from, c.to), c.metres, c.tolerance);
  EXPECT_EQ(TRMath::vellDistanceFromLocation(c.from, c.to),
            TRMath::vellDistanceFromLocation(c.to, c.from));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, TRMathChordTest,
    ::testing::Values(
        ChordCase{"MilliDegreeAtTheEquator", {0, 0}, {0, 0.001}, 111.3195, 1e-4},
        ChordCase{"MilliDegreeOfLatitudeAt45", {45, 10}, {45.001, 10}, 111.3195, 1e-4},
        ChordCase{"AcrossTheGlobe", {0, 0}, {0, 180}, 2 * TRMath::kEarthRadius, 1e-6},
        ChordCase{"PoleToPole", {90, 0}, {-90, 0}, 2 * TRMath::kEarthRadius, 1e-6},
        ChordCase{"TwoNamesOfTheNorthPole", {90, 0}, {90, 50}, 0, 1e-6},
        ChordCase{"SamePoint", {48.85, 2.35}, {48.85, 2.35}, 0, 0},
        ChordCase{"InvalidCoordinateIsTheOrigin", kCoordinateInvalid, {0, 0}, 0, 1e-6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TRMathPointTest, PointToLatLngInvertsLatLngToPoint) {
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
  const Coordinate pole = TRMath::pointToLatLng({0, 0, TRMath::kEarthRadius * (1 + 1e-15)});
  EXPECT_EQ(pole.latitude, 90.0);
}

TEST(TRMathVectorTest, LengthsDistancesAndDirections) {
  EXPECT_EQ(TRMath::lengthOfVector({3, 4, 12}), 13.0);
  EXPECT_EQ(TRMath::distanceBetweenVector({1, 2, 3}, {4, 6, 15}), 13.0);

  const TRVector unit = TRMath::normalizeVector({3, 4, 12});
  EXPECT_NEAR(TRMath::lengthOfVector(unit), 1.0, 1e-15);
  EXPECT_NEAR(unit.x, 3.0 / 13.0, 1e-15);

  const TRVector zero = TRMath::normalizeVector({0, 0, 0});
  EXPECT_EQ(zero, TRVector(0, 0, 0));
  EXPECT_FALSE(zero.hasMeaningfulValue());
}

struct WindowCase {
  std::size_t size;
  std::uint64_t n;
  std::uint64_t count;
  int first;
  std::size_t length;
};

void PrintTo(const WindowCase& c, std::ostream* out) {
  *out << "size " << c.size << " n " << c.n << " count " << c.count;
}

class TRMathWindowTest : public ::testing::TestWithParam<WindowCase> {};

template <class Sequence>
Sequence numbered(std::size_t size) {
  Sequence list(size);
  std::iota(list.begin(), list.end(), 0);
  return list;
}

std::vector<int> expectedWindow(int first, std::size_t length) {
  std::vector<int> window(length);
  std::iota(window.begin(), window.end(), first);
  return window;
}

TEST_P(TRMathWindowTest, CopiesTheWindowFromVectorsAndDeques) {
  const WindowCase& c = GetParam();
  const auto expected = expectedWindow(c.first, c.length);
  EXPECT_EQ(TRMath::getLastItemsFrom(numbered<std::vector<int>>(c.size), c.n, c.count), expected);
  EXPECT_EQ(TRMath::getLastItemsFrom(numbered<std::deque<int>>(c.size), c.n, c.count), expected);
  if (c.n == c.count) {
    EXPECT_EQ(TRMath::getLastItemsFrom(numbered<std::vector<int>>(c.size), c.n), expected);
  }
}

constexpr auto kHuge = std::numeric_limits<std::uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Windows, TRMathWindowTest,
    ::testing::Values(WindowCase{25, 40, 40, 0, 25}, WindowCase{25, 0, 0, 0, 0},
                      WindowCase{25, 10, 10, 15, 10}, WindowCase{20, 10, 3, 10, 3},
                      WindowCase{20, 20, 5, 0, 5}, WindowCase{20, 19, 100, 1, 19},
                      WindowCase{0, 5, 5, 0, 0}, WindowCase{20, kHuge, kHuge, 0, 20},
                      WindowCase{20, 3, kHuge, 17, 3}));

TEST(TRVectorTest, MeaningfulValueThresholds) {
  EXPECT_FALSE(TRVector(0.00001, 0.0001, 0.0001).hasMeaningfulValue());
  EXPECT_FALSE(TRVector(-0.00001, -0.0001, -0.0001).hasMeaningfulValue());
  EXPECT_TRUE(TRVector(0.000011, 0, 0).hasMeaningfulValue());
  EXPECT_TRUE(TRVector(-0.000011, 0, 0).hasMeaningfulValue());
  EXPECT_TRUE(TRVector(0, 0.00011, 0).hasMeaningfulValue());
  EXPECT_TRUE(TRVector(0, 0, -0.00011).hasMeaningfulValue());
  EXPECT_FALSE(TRVector(0, 0.00005, 0.00005).hasMeaningfulValue());
}

TEST(TRVectorTest, DescriptionWritesShortestNumbers) {
  EXPECT_EQ(TRVector(1, 0.25, -9.81).description(), "x:1 y:0.25 z:-9.81");
  EXPECT_EQ(TRVector(0.1 + 0.2, 1e21, 0).description(), "x:0.30000000000000004 y:1e+21 z:0");
}

}  // namespace
}  // namespace trevalo
