#include "vell/TRMath.h"

#include <algorithm>
#include <cmath>

namespace trevalo {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegreesPerRadian = 57.29577951308232;

}  // namespace

TRVector TRMath::latLngToPoint(Coordinate coordinate) noexcept {
  const double phi = coordinate.latitude * kPi / 180.0;
  const double lambda = coordinate.longitude * kPi / 180.0;
  return TRVector(std::cos(lambda) * (std::cos(phi) * kEarthRadius),
                  std::sin(lambda) * (std::cos(phi) * kEarthRadius), kEarthRadius * std::sin(phi));
}

Coordinate TRMath::pointToLatLng(const TRVector& point) noexcept {
  const double sine = std::clamp(point.z / kEarthRadius, -1.0, 1.0);
  return Coordinate{std::asin(sine) * kDegreesPerRadian,
                    std::atan2(point.y, point.x) * kDegreesPerRadian};
}

double TRMath::vellDistanceFromLocation(Coordinate from, Coordinate to) noexcept {
  return distanceBetweenVector(latLngToPoint(from), latLngToPoint(to));
}

double TRMath::lengthOfVector(const TRVector& vector) noexcept {
  return std::sqrt(vector.x * vector.x + vector.y * vector.y + vector.z * vector.z);
}

TRVector TRMath::normalizeVector(const TRVector& vector) noexcept {
  const double length = lengthOfVector(vector);
  if (length == 0.0) return TRVector();
  return TRVector(vector.x / length, vector.y / length, vector.z / length);
}

double TRMath::distanceBetweenVector(const TRVector& a, const TRVector& b) noexcept {
  return lengthOfVector(TRVector(a.x - b.x, a.y - b.y, a.z - b.z));
}

}  // namespace trevalo
