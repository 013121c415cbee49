#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "analyzer/TRLocationAnalyzer.h"
#include "analyzer/modes/TRWalkingMode.h"
#include "networking/TRNetworkClient.h"
#include "strategies/LocationManagerStrategy.h"
#include "strategies/StrategiesStateMachine.h"
#include "support/FixDriver.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "utils/TRUtils.h"
#include "visits/VisitTracker.h"

// Helpers of the facade tests: a delegate that writes down every callback, and a fixture with
// a facade of its own on a simulated platform.
namespace trevalo::testing {

// Writes down every callback, in order, as a short text ("location", "start Cafe", "end Cafe",
// "activity 2", "enter Cafe", "region entered region shop-1", "error 1"), with what came along.
class RecordingDelegate : public TrevaloDelegate {
 public:
  void trevaloDidUpdateLocation(Trevalo&, const Location& location) override {
    locations.push_back(location);
    events.push_back("location");
  }
  void trevaloDidStartVisit(Trevalo&, const std::shared_ptr<TRVisit>& visit) override {
    started.push_back(visit);
    events.push_back("start " + nameOf(visit->place ? visit->place->venue : nullptr));
  }
  void trevaloDidEndVisit(Trevalo&, const std::shared_ptr<TRVisit>& visit) override {
    ended.push_back(visit);
    events.push_back("end " + nameOf(visit->place ? visit->place->venue : nullptr));
  }
  void trevaloWillChangeActivityMode(Trevalo&, TRActivityMode mode) override {
    activities.push_back(mode);
    events.push_back("activity " + std::to_string(mode));
  }
  void trevaloDidEnterRegion(Trevalo&, const std::shared_ptr<TRGeofence>& region) override {
    events.push_back("enter " + nameOf(region->venue));
  }
  void trevaloDidExitRegion(Trevalo&, const std::shared_ptr<TRGeofence>& region) override {
    events.push_back("exit " + nameOf(region->venue));
  }
  void trevaloChangeRegion(Trevalo&, const std::string& text) override {
    events.push_back("region " + text);
  }
  void trevaloDidFailWithError(Trevalo&, const Error& error) override {
    events.push_back("error " + std::to_string(error.code()));
  }

  // The events other than the per-fix locations.
  std::vector<std::string> notices() const {
    std::vector<std::string> result;
    std::copy_if(events.begin(), events.end(), std::back_inserter(result),
                 [](const std::string& event) { return event != "location"; });
    return result;
  }

  std::vector<std::string> events;
  std::vector<Location> locations;
  std::vector<std::shared_ptr<TRVisit>> started;
  std::vector<std::shared_ptr<TRVisit>> ended;
  std::vector<TRActivityMode> activities;

 private:
  static std::string nameOf(const std::shared_ptr<TRVenue>& venue) {
    return venue ? venue->name.value_or("") : "";
  }
};

// A facade on a context of its own (with a network client of its own, so no test shares the
// process-wide one), a recording delegate, and a simulated platform whose run loop belongs to
// the test's thread: virtual time from 2026-01-01T00:00:00Z, an empty documents directory.
class FacadeTest : public ::testing::Test, public FixDriver {
 protected:
  void SetUp() override {
    directory_.emplace();
    installPlatform(platform::SimulatedPlatform::Options{}.start);
    makeFacade();
  }
  void TearDown() override {
    trevalo.reset();
    context.reset();
    // Work still queued may hold SDK objects; it goes with the platform, before the files do.
    platform::Platform::install(previous_);
    previous_.reset();
    platform_.reset();
    directory_.reset();
  }

  // As after the process ended and a new one began on the same documents directory: a new
  // platform (its clock where the old one stopped), a new facade and a new delegate. Nothing of
  // the old process runs on.
  void relaunch() {
    const Date stoppedAt = now();
    trevalo.reset();
    context.reset();
    platform::Platform::install(previous_);
    platform_.reset();
    installPlatform(stoppedAt);
    client = std::make_shared<TRNetworkClient>();
    delegate = std::make_shared<RecordingDelegate>();
    makeFacade();
  }

  void start(std::optional<TROptions> options = std::nullopt) {
    trevalo->startWithApiToken("token", delegate, std::move(options));
    runUntilIdle();
  }

  platform::SimulatedPlatform& platform() const { return *platform_; }
  platform::VirtualTimeRunLoop& runLoop() const { return platform_->virtualRunLoop(); }
  platform::SimulatedLocationManager& locationManager() const {
    return platform_->locationManager();
  }
  platform::SimulatedHttpTransport& transport() const {
    return platform_->simulatedHttpTransport();
  }
  StrategiesStateMachine& machine() const { return *context->strategiesStateMachine; }
  TRLocationAnalyzer& analyzer() const { return *context->analyzeLocations; }
  VisitTracker& tracker() const { return *context->visitsQueue; }

  void advanceBy(double seconds) const { runLoop().advanceBy(seconds); }
  void runUntilIdle() const { runLoop().runUntilIdle(); }
  Date now() const { return platform_->clock().now(); }

  // Fixes at the current time, delivered through the location manager and taken in.
  bool deliver(const std::vector<Location>& fixes) {
    const bool accepted = locationManager().deliverLocations(fixes);
    runUntilIdle();
    return accepted;
  }
  bool deliver(Coordinate coordinate, FixKind kind = kOutdoors) {
    return deliver({fixAt(coordinate, kind)});
  }
  Location fixAt(Coordinate coordinate, FixKind kind = kOutdoors) const {
    return Location(coordinate, 0.0, kind.accuracy, -1.0, kind.course, kind.speed, now());
  }
  void take(Coordinate coordinate, FixKind kind) override { deliver(coordinate, kind); }
  void moveClock(double seconds) override { advanceBy(seconds); }
  TRMode currentMode() const override { return analyzer().currentMode(); }
  // The method and path (with the query) of each request sent so far.
  std::vector<std::string> sentPaths() const {
    std::vector<std::string> paths;
    for (const auto& request : transport().sentRequests()) {
      paths.push_back(request.httpMethod + " " + pathOf(request.url));
    }
    return paths;
  }
  static std::string pathOf(const std::string& url) {
    return url.substr(url.find('/', url.find("://") + 3));
  }
  // Answers the oldest pending request with `status` and `body`, and lets the answer through.
  void answer(int status, const Json& body = Json::object()) {
    ASSERT_TRUE(transport().respondToNext(
        platform::SimulatedHttpTransport::response(status, status < 300 ? body.dump() : "")));
    runUntilIdle();
  }
  static Json bodyOf(const platform::HttpRequest& request) {
    const auto& bytes = request.body.value();
    return Json::parse(bytes.begin(), bytes.end());
  }

  // The strategies the facade applies from now on, by name, into `into`; with `changesOnly`,
  // not the keep-alive loop's re-applications of the current one.
  void recordStrategies(std::vector<std::string>& into, bool changesOnly = false) {
    trevalo->setStrategyObserver([&into, changesOnly](const LocationManagerStrategy&,
                                                      StrategyType current, StrategyType from) {
      if (!changesOnly || current != from) {
        into.push_back("strategy " + TRUtils::strForStrategy(current));
      }
    });
  }

  std::shared_ptr<TRNetworkClient> client = std::make_shared<TRNetworkClient>();
  std::shared_ptr<TRContext> context;
  std::shared_ptr<Trevalo> trevalo;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();

 private:
  void installPlatform(Date start) {
    platform_ = platform::SimulatedPlatform::make(
        {.documentsDirectory = directory_->path(), .start = start});
    previous_ = platform::Platform::install(platform_);
    // Driving the loop once makes the test's thread the run loop's: the SDK's main thread.
    runUntilIdle();
  }
  void makeFacade() {
    TRWalkingMode::resetCarModeCount();
    context = std::make_shared<TRContext>(client);
    trevalo = Trevalo::initWithContext(context);
  }

  std::optional<TemporaryDirectory> directory_;
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
};

}  // namespace trevalo::testing
