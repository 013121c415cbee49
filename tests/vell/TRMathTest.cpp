#include "vell/TRMath.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <numeric>
#include <vector>

namespace trevalo {
namespace {

// The chord runs through the sphere; a point a hair beyond the sphere at a pole (which rounding
// produces) converts back to the pole rather than to NaN.
TEST(TRMathTest, ChordDistanceAndTheEarthCentredPoint) {
  EXPECT_NEAR(TRMath::vellDistanceFromLocation({45, 10}, {45.001, 10}), 111.3195, 1e-4);
  EXPECT_NEAR(TRMath::vellDistanceFromLocation({0, 0}, {0, 180}), 2 * TRMath::kEarthRadius, 1e-6);
  EXPECT_NEAR(TRMath::vellDistanceFromLocation({90, 0}, {90, 50}), 0, 1e-6);
  EXPECT_EQ(TRMath::pointToLatLng({0, 0, TRMath::kEarthRadius * (1 + 1e-15)}).latitude, 90.0);
  EXPECT_EQ(TRMath::normalizeVector({0, 0, 0}), TRVector(0, 0, 0));
}

// The window of at most `count` items starting `n` items before the end, clipped to the list,
// even for counts so large that adding them overflows.
TEST(TRMathTest, GetLastItemsFromCopiesTheWindowFromVectorsAndDeques) {
  constexpr auto kHuge = std::numeric_limits<std::uint64_t>::max();
  const struct {
    std::size_t size;
    std::uint64_t n, count;
    int first;
    std::size_t length;
  } cases[] = {{25, 40, 40, 0, 25},  {25, 0, 0, 0, 0},          {20, 10, 3, 10, 3},
               {20, 19, 100, 1, 19}, {20, kHuge, kHuge, 0, 20}, {20, 3, kHuge, 17, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "size " << c.size << " n " << c.n << " count " << c.count);
    std::vector<int> expected(c.length);
    std::iota(expected.begin(), expected.end(), c.first);
    std::vector<int> vector(c.size);
    std::iota(vector.begin(), vector.end(), 0);

    EXPECT_EQ(TRMath::getLastItemsFrom(vector, c.n, c.count), expected);
    EXPECT_EQ(TRMath::getLastItemsFrom(std::deque<int>(vector.begin(), vector.end()), c.n, c.count),
              expected);
  }
}

}  // namespace
}  // namespace trevalo
