#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "trevalo/platform/Coordinate.h"
#include "vell/TRVector.h"

namespace trevalo {

// The SDK's distance measure and a few vector helpers. Points are in metres in an Earth-centred
// frame on a sphere of the equatorial radius: z towards the north pole, x towards latitude 0
// longitude 0, y towards latitude 0 longitude 90 east.
class TRMath {
 public:
  static constexpr double kEarthRadius = 6378137.0;

  TRMath() = delete;

  static TRVector latLngToPoint(Coordinate coordinate) noexcept;
  // The inverse of `latLngToPoint` for points on the sphere. A point beyond the sphere's polar
  // extent (|z| > R, which rounding alone can produce at a pole) reads as that pole, not NaN.
  static Coordinate pointToLatLng(const TRVector& point) noexcept;

  // The straight-line (chord) distance in metres between the two coordinates' points. Within
  // a few kilometres it equals the arc length to well under a millimetre.
  static double vellDistanceFromLocation(Coordinate from, Coordinate to) noexcept;

  static double lengthOfVector(const TRVector& vector) noexcept;
  // The unit vector in the same direction. The zero vector has no direction and comes back as
  // the zero vector (not NaN), which `hasMeaningfulValue` reports as not meaningful.
  static TRVector normalizeVector(const TRVector& vector) noexcept;
  static double distanceBetweenVector(const TRVector& a, const TRVector& b) noexcept;

  // The window of at most `count` items that starts `n` items before the end of `list` (or at
  // its start when the list is shorter), copied in list order.
  template <class Sequence>
  static std::vector<typename Sequence::value_type> getLastItemsFrom(const Sequence& list,
                                                                     std::uint64_t n,
                                                                     std::uint64_t count) {
    const std::uint64_t size = std::size(list);
    const std::uint64_t start = n >= size ? 0 : size - n;
    const std::uint64_t length = std::min(size - start, count);
    const auto first = std::next(std::begin(list), static_cast<std::ptrdiff_t>(start));
    return std::vector<typename Sequence::value_type>(
        first, std::next(first, static_cast<std::ptrdiff_t>(length)));
  }

  // The last `n` items, or the whole list when it holds fewer.
  template <class Sequence>
  static std::vector<typename Sequence::value_type> getLastItemsFrom(const Sequence& list,
                                                                     std::uint64_t n) {
    return getLastItemsFrom(list, n, n);
  }
};

}  // namespace trevalo
