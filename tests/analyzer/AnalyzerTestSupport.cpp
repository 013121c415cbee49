#include "AnalyzerTestSupport.h"

#include <cmath>
#include <numbers>
#include <sstream>

#include "trevalo/analyzer/modes/TRWalkingMode.h"
#include "trevalo/platform/Location.h"
#include "trevalo/vell/TRMath.h"

namespace trevalo::testing {

namespace {

constexpr Coordinate kOrigin{48.85, 2.35};
constexpr double kRadiansToDegrees = 180.0 / std::numbers::pi;

std::string formatSeconds(double seconds) {
  std::ostringstream text;
  text << seconds;
  return text.str();
}

}  // namespace

Coordinate metres(double east, double north) {
  const double latitude = kOrigin.latitude + north / TRMath::kEarthRadius * kRadiansToDegrees;
  const double longitude =
      kOrigin.longitude +
      east / (TRMath::kEarthRadius * std::cos(kOrigin.latitude / kRadiansToDegrees)) *
          kRadiansToDegrees;
  return {latitude, longitude};
}

Coordinate chordNorthOf(Coordinate from, double distance) {
  // On the sphere of the chord distance, an arc of angle a along a meridian spans a chord of
  // 2 R sin(a / 2).
  const double angle = 2.0 * std::asin(distance / (2.0 * TRMath::kEarthRadius));
  return {from.latitude + angle * kRadiansToDegrees, from.longitude};
}

std::shared_ptr<MetaOperationBase> opaqueOperation() {
  // Never dereferenced: only its identity is compared.
  static char token;
  return std::shared_ptr<MetaOperationBase>(std::shared_ptr<void>(),
                                            reinterpret_cast<MetaOperationBase*>(&token));
}

std::shared_ptr<TRVellLocation> makeSample(Coordinate coordinate, Date at, FixKind kind) {
  return std::make_shared<TRVellLocation>(
      Location(coordinate, 0.0, kind.accuracy, -1.0, kind.course, kind.speed, at));
}

void Recorder::add(std::string what) {
  events.push_back({Date::now().timeIntervalSinceDate(start_), std::move(what)});
}

void Recorder::didDetectedModeChange() {
  const auto analyzer = analyzer_.lock();
  add("mode " + std::to_string(analyzer ? analyzer->currentMode() : -1));
}

void Recorder::onConfirmedDepartedVenueWithEndDate(Date endDate) {
  add("departed " + formatSeconds(endDate.timeIntervalSinceDate(start_)));
}

std::vector<std::string> Recorder::story() const {
  std::vector<std::string> lines;
  for (const Event& event : events) {
    if (event.what != "location") lines.push_back(formatSeconds(event.at) + " " + event.what);
  }
  return lines;
}

std::vector<TRMode> Recorder::modes() const {
  std::vector<TRMode> result;
  for (const Event& event : events) {
    if (event.what.starts_with("mode ")) {
      result.push_back(static_cast<TRMode>(std::stoi(event.what.substr(5))));
    }
  }
  return result;
}

std::size_t Recorder::count(const std::string& prefix) const {
  std::size_t n = 0;
  for (const Event& event : events)
    n += event.what.starts_with(prefix) ? 1 : 0;
  return n;
}

void AnalyzerTest::SetUp() {
  PlatformTest::SetUp();
  // Driving the loop once makes the test's thread the run loop's, as it is the SDK's main
  // thread in these tests.
  runUntilIdle();
  TRWalkingMode::resetCarModeCount();
  SetUpAnalyzer();
}

void AnalyzerTest::SetUpAnalyzer() {
  start_ = now();
  analyzer = TRLocationAnalyzer::make();
  recorder = std::make_shared<Recorder>(start_);
  recorder->watch(analyzer);
  analyzer->setDelegate(recorder);
}

void AnalyzerTest::TearDown() {
  analyzer.reset();
  recorder.reset();
  PlatformTest::TearDown();
}

std::shared_ptr<TRVellLocation> AnalyzerTest::feed(Coordinate coordinate, FixKind kind) {
  auto sample = makeSample(coordinate, now(), kind);
  analyzer->processLocation(sample);
  return sample;
}

void AnalyzerTest::walk(Coordinate from, Coordinate to, double seconds, double interval,
                        FixKind kind) {
  const int steps = static_cast<int>(std::lround(seconds / interval));
  for (int i = 1; i <= steps; ++i) {
    advanceBy(interval);
    const double f = static_cast<double>(i) / steps;
    feed({from.latitude + (to.latitude - from.latitude) * f,
          from.longitude + (to.longitude - from.longitude) * f},
         kind);
  }
}

void AnalyzerTest::stay(Coordinate where, double seconds, double interval, FixKind kind) {
  walk(where, where, seconds, interval, kind);
}

void AnalyzerTest::stayUntil(TRMode mode, Coordinate where, double seconds, FixKind kind) {
  for (double waited = 0.0; waited < seconds && analyzer->currentMode() != mode; waited += 5.0) {
    advanceBy(5.0);
    feed(where, kind);
  }
  ASSERT_EQ(analyzer->currentMode(), mode) << "not reached within " << seconds << " s";
}

}  // namespace trevalo::testing
