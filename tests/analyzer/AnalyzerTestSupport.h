#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analyzer/TRGeofenceDelegate.h"
#include "analyzer/TRLocationAnalyzer.h"
#include "analyzer/TRLocationAnalyzerDelegate.h"
#include "analyzer/modes/TRWalkingMode.h"
#include "support/FixDriver.h"
#include "support/PlatformTest.h"

namespace trevalo::testing {

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
class AnalyzerTest : public PlatformTest, public FixDriver {
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
  TRLocationAnalyzerContext& context() const { return *analyzer->locationAnalyzerContext(); }
  void take(Coordinate coordinate, FixKind kind) override { feed(coordinate, kind); }
  void moveClock(double seconds) override { advanceBy(seconds); }
  TRMode currentMode() const override { return analyzer->currentMode(); }

  std::shared_ptr<TRLocationAnalyzer> analyzer;
  std::shared_ptr<Recorder> recorder;
};

}  // namespace trevalo::testing
