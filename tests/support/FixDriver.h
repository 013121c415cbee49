#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "trevalo/platform/Location.h"
#include "utils/TRMode.h"
#include "vell/TRMath.h"
#include "vell/TRVellLocation.h"

// Positions in metres, kinds of fixes, and the walks and stays that the analyzer's and the
// facade's tests drive in virtual time.
namespace trevalo::testing {

inline constexpr double kRadiansToDegrees = 180.0 / std::numbers::pi;

// Positions in metres east and north of a fixed origin in a city. Within a few hundred metres
// the analyzer's chord distance between them equals the plane distance to well under a
// millimetre.
inline Coordinate metres(double east, double north) {
  constexpr Coordinate origin{48.85, 2.35};
  const double metresPerRadianEast =
      TRMath::kEarthRadius * std::cos(origin.latitude / kRadiansToDegrees);
  return {origin.latitude + north / TRMath::kEarthRadius * kRadiansToDegrees,
          origin.longitude + east / metresPerRadianEast * kRadiansToDegrees};
}

// The coordinate exactly `distance` metres (chord distance) north of `from`: on the sphere of
// the chord distance, an arc of angle a along a meridian spans a chord of 2 R sin(a / 2).
inline Coordinate chordNorthOf(Coordinate from, double distance) {
  const double angle = 2.0 * std::asin(distance / (2.0 * TRMath::kEarthRadius));
  return {from.latitude + angle * kRadiansToDegrees, from.longitude};
}

// What a fix looks like besides its position and time.
struct FixKind {
  double accuracy;
  double course;  // negative: none
  double speed;   // negative: none
};
// Outdoors on foot: a good fix with a course and a speed.
inline constexpr FixKind kOutdoors{5.0, 90.0, 1.4};
// Indoors, not moving: a poor fix without course or speed (0.85 of the 1.0 an indoor verdict
// needs, the rest coming from staying put).
inline constexpr FixKind kIndoors{30.0, -1.0, 0.0};

inline std::shared_ptr<TRVellLocation> makeSample(Coordinate coordinate, Date at,
                                                  FixKind kind = kOutdoors) {
  return std::make_shared<TRVellLocation>(
      Location(coordinate, 0.0, kind.accuracy, -1.0, kind.course, kind.speed, at));
}

// Walks and stays for a fixture that takes a fix at the current time, moves its clock, and
// tells the mode its analyzer is in.
class FixDriver {
 public:
  virtual ~FixDriver() = default;

  // A fix every `interval` seconds on a straight line from `from` to `to`, reached after
  // `seconds` (the clock moves first, so timers due meanwhile fire before each fix).
  void walk(Coordinate from, Coordinate to, double seconds, double interval = 5.0,
            FixKind kind = kOutdoors) {
    const int steps = static_cast<int>(std::lround(seconds / interval));
    for (int i = 1; i <= steps; ++i) {
      moveClock(interval);
      const double f = static_cast<double>(i) / steps;
      take({from.latitude + (to.latitude - from.latitude) * f,
            from.longitude + (to.longitude - from.longitude) * f},
           kind);
    }
  }
  // Indoor fixes every 5 s at `where`, for `seconds`.
  void stay(Coordinate where, double seconds) { walk(where, where, seconds, 5.0, kIndoors); }
  // Indoor fixes every 5 s at `where` until the analyzer is in `mode`, at most `seconds` long.
  void stayUntil(TRMode mode, Coordinate where, double seconds) {
    for (double waited = 0.0; waited < seconds && currentMode() != mode; waited += 5.0) {
      moveClock(5.0);
      take(where, kIndoors);
    }
    ASSERT_EQ(currentMode(), mode) << "not reached within " << seconds << " s";
  }

 protected:
  virtual void take(Coordinate coordinate, FixKind kind) = 0;
  virtual void moveClock(double seconds) = 0;
  virtual TRMode currentMode() const = 0;
};

}  // namespace trevalo::testing
