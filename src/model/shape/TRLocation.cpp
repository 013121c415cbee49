#include "model/shape/TRLocation.h"

#include <algorithm>
#include <cmath>

#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegreesPerRadian = 57.29577951308232;

}  // namespace

TRLocation::TRLocation(Location location) : location_(location) {
  computeValues();
}

TRLocation TRLocation::initWithX(double x, double y, double z, Date timestamp, double altitude,
                                 double course, double speed, double accuracy) {
  // Rounding can carry a point a hair beyond the pole; asin would then give NaN. (NaN input
  // stays NaN: clamp passes it through.)
  const double sine = std::clamp(z / kPolarRadius, -1.0, 1.0);
  const Coordinate coordinate{std::asin(sine) * kDegreesPerRadian,
                              std::atan2(y, x) * kDegreesPerRadian};
  TRLocation result(Location(coordinate, altitude, accuracy, 10.0, course, speed, timestamp));
  result.x_ = x;
  result.y_ = y;
  result.z_ = z;
  result.latRadians_ = 0.0;
  result.lngRadians_ = 0.0;
  return result;
}

std::shared_ptr<TRLocation> TRLocation::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto location = coder.decodeLocation("location");
  if (!location) throw platform::ArchiveError("TRLocation archived without its location");
  return std::make_shared<TRLocation>(*location);
}

void TRLocation::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeLocation(location_, "location");
}

void TRLocation::computeValues() noexcept {
  const Coordinate coordinate = location_.coordinate();
  latRadians_ = coordinate.latitude / 180.0 * kPi;
  lngRadians_ = coordinate.longitude / 180.0 * kPi;
  x_ = std::cos(latRadians_) * std::cos(lngRadians_) * kEquatorialRadius;
  y_ = std::cos(latRadians_) * std::sin(lngRadians_) * kEquatorialRadius;
  z_ = std::sin(latRadians_) * kPolarRadius;
}

double TRLocation::distanceFromLocation(const Location& other) const {
  return location_.distanceFromLocation(other);
}

void TRLocation::setLocation(Location location) {
  location_ = location;
  computeValues();
}

}  // namespace trevalo
