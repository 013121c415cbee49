#include "platform/linux/GpsdFix.h"

namespace trevalo::platform {

namespace {

double orUnknown(double value) {
  return std::isfinite(value) ? value : -1.0;
}

}  // namespace

Location GpsdFix::location() const {
  double accuracy = horizontalError;
  if (!std::isfinite(accuracy)) {
    accuracy = std::isfinite(longitudeError) && std::isfinite(latitudeError)
                   ? std::hypot(longitudeError, latitudeError)
                   : -1.0;
  }
  const double height = std::isfinite(altitude) ? altitude : ellipsoidAltitude;
  const bool hasHeight = threeDimensional && std::isfinite(height);
  return Location(coordinate, hasHeight ? height : 0.0, accuracy,
                  hasHeight ? orUnknown(verticalError) : -1.0, orUnknown(track), orUnknown(speed),
                  time);
}

std::optional<Heading> GpsdFix::heading() const {
  if (!std::isfinite(track)) return std::nullopt;
  return Heading{.magneticHeading = std::isfinite(magneticTrack) ? magneticTrack : track,
                 .trueHeading = track,
                 .headingAccuracy = orUnknown(trackError),
                 .timestamp = time};
}

}  // namespace trevalo::platform
