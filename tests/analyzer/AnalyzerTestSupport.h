#pragma once

#include <cmath>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "analyzer/TRGeofenceDelegate.h"
#include "analyzer/TRLocationAnalyzer.h"
#include "analyzer/TRLocationAnalyzerDelegate.h"
#include "analyzer/modes/TRWalkingMode.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/Location.h"
#include "vell/TRMath.h"
#include "vell/TRVellLocation.h"

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

// The analyzer's delegate in tests: writes down every call but the per-sample location reports
// as "<seconds since the start> <what>", e.g. "290 mode 4", "500 departed 500", "290 send 51".
class Recorder final : public TRLocationAnalyzerDelegate, public TRGeofenceDelegate {
 public:
  explicit Recorder(Date start, std::weak_ptr<const TRLocationAnalyzer> analyzer = {})
      : start_(start), analyzer_(std::move(analyzer)) {}

  void didDetectedModeChange() override {
    const auto analyzer = analyzer_.lock();
    modes.push_back(analyzer ? analyzer->currentMode() : static_cast<TRMode>(-1));
    add("mode " + std::to_string(modes.back()));
  }
  void onConfirmedDepartedVenueWithEndDate(Date endDate) override {
    add("departed " + secondsTo(endDate));
  }
  void onDeterminedFilteredTRLocation(const Location&) override {}
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) override {
    add("send " + std::to_string(points.size()));
    return nullptr;
  }
  void reverseGeocode(const std::shared_ptr<TRVellLocation>&) override { add("geocode"); }
  void enteredRegion(const std::shared_ptr<TRGeofence>& geofence) override {
    entered.push_back(geofence);
  }
  void exitedRegion(const std::shared_ptr<TRGeofence>& geofence) override {
    exited.push_back(geofence);
  }

  std::vector<std::string> story;
  std::vector<TRMode> modes;  // entered, in order
  std::vector<std::shared_ptr<TRGeofence>> entered;
  std::vector<std::shared_ptr<TRGeofence>> exited;

 private:
  std::string secondsTo(Date at) const {
    std::ostringstream text;
    text << at.timeIntervalSinceDate(start_);
    return text.str();
  }
  void add(const std::string& what) { story.push_back(secondsTo(Date::now()) + " " + what); }

  Date start_;
  std::weak_ptr<const TRLocationAnalyzer> analyzer_;
};

// A fresh analyzer (car count back at 0) whose delegate is a Recorder, on a fresh simulated
// platform whose run loop belongs to the test's thread.
class AnalyzerTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    // Driving the loop once makes the test's thread the run loop's, as it is the SDK's main
    // thread in these tests.
    runUntilIdle();
    SetUpAnalyzer();
  }
  void TearDown() override {
    analyzer.reset();
    PlatformTest::TearDown();
  }
  // A fresh analyzer and recorder, with times counted from now, in a process that has not yet
  // seen a car.
  void SetUpAnalyzer() {
    TRWalkingMode::resetCarModeCount();
    analyzer = TRLocationAnalyzer::make();
    recorder = std::make_shared<Recorder>(now(), analyzer);
    analyzer->setDelegate(recorder);
  }

  // One fix at the current time.
  std::shared_ptr<TRVellLocation> feed(Coordinate coordinate, FixKind kind = kOutdoors) {
    auto sample = makeSample(coordinate, now(), kind);
    analyzer->processLocation(sample);
    return sample;
  }
  // A fix every `interval` seconds (the clock moves first, so timers due meanwhile fire before
  // each fix), on a straight line from `from` to `to` reached after `seconds`.
  void walk(Coordinate from, Coordinate to, double seconds, double interval = 5.0,
            FixKind kind = kOutdoors) {
    const int steps = static_cast<int>(std::lround(seconds / interval));
    for (int i = 1; i <= steps; ++i) {
      advanceBy(interval);
      const double f = static_cast<double>(i) / steps;
      feed({from.latitude + (to.latitude - from.latitude) * f,
            from.longitude + (to.longitude - from.longitude) * f},
           kind);
    }
  }
  // A fix every 5 s at `where`, for `seconds`.
  void stay(Coordinate where, double seconds) { walk(where, where, seconds, 5.0, kIndoors); }
  // Fixes every 5 s until the analyzer is in `mode`, at most `seconds` long.
  void stayUntil(TRMode mode, Coordinate where, double seconds) {
    for (double waited = 0.0; waited < seconds && analyzer->currentMode() != mode; waited += 5.0) {
      advanceBy(5.0);
      feed(where, kIndoors);
    }
    ASSERT_EQ(analyzer->currentMode(), mode) << "not reached within " << seconds << " s";
  }

  TRLocationAnalyzerContext& context() const { return *analyzer->locationAnalyzerContext(); }

  std::shared_ptr<TRLocationAnalyzer> analyzer;
  std::shared_ptr<Recorder> recorder;
};

}  // namespace trevalo::testing
