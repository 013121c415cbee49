#pragma once

#include <memory>
#include <string>

#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Location.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// A location fix together with its Earth-centred position, for projecting points onto polygon
// edges. The position scales x and y by the equatorial radius and z by the polar radius; it is
// not the ellipsoidal (geodetic) transform, and `initWithX` is its exact inverse.
//
// A value: copy it freely. It can also be archived, as its location alone.
class TRLocation final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRLocation";
  static constexpr double kEquatorialRadius = 6378137.0;
  static constexpr double kPolarRadius = 6356752.314245;

  // Takes the fix and computes its position (initWithLocation).
  explicit TRLocation(Location location);
  static TRLocation locationWithLocation(Location location) { return TRLocation(location); }

  // A location at the Earth-centred point (x, y, z), which is kept as given. Its fix has the
  // given time, altitude, course, speed and horizontal accuracy and a vertical accuracy of 10 m.
  // The radian fields stay 0: nothing is recomputed from the fix. A point beyond the polar
  // extent (|z| greater than the polar radius) reads as the pole rather than an undefined
  // latitude.
  static TRLocation initWithX(double x, double y, double z, Date timestamp, double altitude,
                              double course, double speed, double accuracy);

  // Nothing is decoded without a location: such an archive is damaged (ArchiveError).
  static std::shared_ptr<TRLocation> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

  // Fills the radian and Earth-centred fields from the fix.
  void computeValues() noexcept;

  // The geodesic distance from this fix to `other`, in metres.
  double distanceFromLocation(const Location& other) const;

  const Location& location() const noexcept { return location_; }
  // Replaces the fix and recomputes the position, so the two never disagree.
  void setLocation(Location location);

  bool isVenueCoordinate() const noexcept { return isVenueCoordinate_; }
  void setIsVenueCoordinate(bool isVenueCoordinate) noexcept {
    isVenueCoordinate_ = isVenueCoordinate;
  }

  double x() const noexcept { return x_; }
  double y() const noexcept { return y_; }
  double z() const noexcept { return z_; }
  double latRadians() const noexcept { return latRadians_; }
  double lngRadians() const noexcept { return lngRadians_; }

 private:
  bool isVenueCoordinate_ = false;
  Location location_;
  double x_ = 0.0;
  double y_ = 0.0;
  double z_ = 0.0;
  double latRadians_ = 0.0;
  double lngRadians_ = 0.0;
};

}  // namespace trevalo
