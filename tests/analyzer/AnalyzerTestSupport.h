#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/analyzer/TRGeofenceDelegate.h"
#include "trevalo/analyzer/TRLocationAnalyzer.h"
#include "trevalo/analyzer/TRLocationAnalyzerDelegate.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"
#include "trevalo/vell/TRVellLocation.h"

namespace trevalo::testing {

// Positions in metres east and north of a fixed origin in a city. Within a few hundred metres
// the analyzer's chord distance between them equals the plane distance to well under a
// millimetre.
Coordinate metres(double east, double north);
// The coordinate exactly `distance` metres (chord distance) north of `from`.
Coordinate chordNorthOf(Coordinate from, double distance);

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

// A visit operation the analyzer only passes along and compares. The operation classes belong
// to the visit subsystem; this stands for one without needing them.
std::shared_ptr<MetaOperationBase> opaqueOperation();

std::shared_ptr<TRVellLocation> makeSample(Coordinate coordinate, Date at,
                                           FixKind kind = kOutdoors);

// The analyzer's delegate in tests: writes down every call, with the seconds since the start of
// the test at which it came.
class Recorder final : public TRLocationAnalyzerDelegate, public TRGeofenceDelegate {
 public:
  struct Event {
    double at;
    std::string what;  // "mode 4", "location", "departed 315", "send 51", "geocode", ...
  };

  explicit Recorder(Date start) : start_(start) {}

  void watch(std::weak_ptr<const TRLocationAnalyzer> analyzer) { analyzer_ = std::move(analyzer); }

  void didDetectedModeChange() override;
  void onConfirmedDepartedVenueWithEndDate(Date endDate) override;
  void onDeterminedFilteredTRLocation(const Location&) override { add("location"); }
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) override {
    add("send " + std::to_string(points.size()));
    sentPoints.push_back(points);
    return operationToReturn;
  }
  void reverseGeocode(const std::shared_ptr<TRVellLocation>& location) override {
    add("geocode");
    geocoded.push_back(location);
  }
  void enteredRegion(const std::shared_ptr<TRGeofence>& geofence) override {
    add("entered");
    entered.push_back(geofence);
  }
  void exitedRegion(const std::shared_ptr<TRGeofence>& geofence) override {
    add("exited");
    exited.push_back(geofence);
  }

  // Every call but the per-sample location reports, as "<seconds> <what>".
  std::vector<std::string> story() const;
  // The modes entered, in order.
  std::vector<TRMode> modes() const;
  std::size_t count(const std::string& prefix) const;

  std::vector<Event> events;
  std::vector<std::vector<std::shared_ptr<TRVellLocation>>> sentPoints;
  std::vector<std::shared_ptr<TRVellLocation>> geocoded;
  std::vector<std::shared_ptr<TRGeofence>> entered;
  std::vector<std::shared_ptr<TRGeofence>> exited;
  // Returned from sendCollectedPoints.
  std::shared_ptr<MetaOperationBase> operationToReturn;

 private:
  void add(std::string what);

  Date start_;
  std::weak_ptr<const TRLocationAnalyzer> analyzer_;
};

// A fresh analyzer (car count back at 0) whose delegate is a Recorder, on a fresh simulated
// platform whose run loop belongs to the test's thread.
class AnalyzerTest : public PlatformTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A fresh analyzer and recorder, with times counted from now.
  void SetUpAnalyzer();

  double elapsed() const { return now().timeIntervalSinceDate(start_); }

  // One fix at the current time.
  std::shared_ptr<TRVellLocation> feed(Coordinate coordinate, FixKind kind = kOutdoors);
  // A fix every `interval` seconds (the clock moves first, so timers due meanwhile fire before
  // each fix), on a straight line from `from` to `to` reached after `seconds`.
  void walk(Coordinate from, Coordinate to, double seconds, double interval = 5.0,
            FixKind kind = kOutdoors);
  // A fix every `interval` seconds at `where`, for `seconds`.
  void stay(Coordinate where, double seconds, double interval = 5.0, FixKind kind = kIndoors);
  // Fixes every 5 s until the analyzer is in `mode`, at most `seconds` long.
  void stayUntil(TRMode mode, Coordinate where, double seconds, FixKind kind = kIndoors);

  TRLocationAnalyzerContext& context() const { return *analyzer->locationAnalyzerContext(); }

  std::shared_ptr<TRLocationAnalyzer> analyzer;
  std::shared_ptr<Recorder> recorder;

 private:
  Date start_;
};

}  // namespace trevalo::testing
