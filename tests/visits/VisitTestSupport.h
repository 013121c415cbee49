#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "networking/TRNetworkClient.h"
#include "platform/KeyedUnarchiver.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/OperationQueue.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "vell/TRVellLocation.h"
#include "visits/VisitTracker.h"
#include "visits/operations/MetaOperationDepart.h"

// Helpers of the visit tests: samples and places, a delegate that records what the tracker
// reports, and a fixture with a tracker on the simulated platform.
namespace trevalo::testing {

// The requests of the tracker, as `VisitTrackerTest::paths` lists them.
inline const std::string kResolvePath = "/v1/geocode/reverse_geocode?api_token=token";
inline const std::string kLogPath = "/v1/logging/visit?api_token=token";

// Three samples a metre or so apart, ten seconds apart, ending exactly at (latitude, longitude).
inline std::vector<std::shared_ptr<TRVellLocation>> stayAt(double latitude, double longitude) {
  std::vector<std::shared_ptr<TRVellLocation>> samples;
  for (int i = 3; i > 0; --i) {
    samples.push_back(std::make_shared<TRVellLocation>(
        Location(Coordinate{latitude + (i - 1) * 1e-5, longitude}, 10.0, 5.0, 3.0, -1.0, 0.0,
                 Date(1767225600.0 - i * 10.0))));
  }
  return samples;
}

// A service answer naming an address and a venue by their ids (an empty id is left out).
inline Json placeJson(const std::string& addressId, const std::string& venueId) {
  Json place = Json::object();
  if (!addressId.empty()) place["address"] = {{"id", addressId}, {"country", "United States"}};
  if (!venueId.empty()) place["venue"] = {{"id", venueId}, {"name", "Venue " + venueId}};
  return place;
}

inline std::shared_ptr<TRPlace> placeWith(const std::string& addressId,
                                          const std::string& venueId) {
  return TRPlace::initWithDictionary(placeJson(addressId, venueId));
}

class RecordingTrackerDelegate final : public VisitTrackerDelegate {
 public:
  struct Event {
    std::string kind;  // "start" or "end"
    std::shared_ptr<TRCachedVisit> visit;
    std::optional<Date> endDate;  // the visit's end when it was reported
  };

  void optionalDidStartVisit(const std::shared_ptr<TRCachedVisit>& visit) override {
    events.push_back({"start", visit, visit->endDate()});
  }
  void optionalDidEndVisit(const std::shared_ptr<TRCachedVisit>& visit) override {
    events.push_back({"end", visit, visit->endDate()});
  }
  void operationFinished(const std::shared_ptr<MetaOperationBase>& operation) override {
    finished.push_back(operation);
  }

  std::vector<Event> events;
  std::vector<std::shared_ptr<MetaOperationBase>> finished;
};

// A tracker restored from (an empty) documents directory, with its queue, a client holding a
// token, and a recording delegate, on a simulated platform of the test's own (virtual time
// from 2026-01-01T00:00:00Z; `customize` may replace parts of it). Requests go to the
// simulated transport unless the test installs another.
class VisitTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_.emplace();
    platform::SimulatedPlatform::Options options{.documentsDirectory = directory_->path()};
    customize(options);
    platform_ = platform::SimulatedPlatform::make(std::move(options));
    previous_ = platform::Platform::install(platform_);
    client_ = std::make_shared<TRNetworkClient>();
    client_->setApiKey("token");
    startTracker();
  }
  void TearDown() override {
    tracker_.reset();
    // Work still queued may hold SDK objects; it goes with the platform, before the files do.
    platform::Platform::install(previous_);
    previous_.reset();
    platform_.reset();
    directory_.reset();
  }
  virtual void customize(platform::SimulatedPlatform::Options&) {}

  platform::SimulatedPlatform& platform() const { return *platform_; }
  platform::VirtualTimeRunLoop& runLoop() const { return platform_->virtualRunLoop(); }
  void advanceBy(double seconds) const { runLoop().advanceBy(seconds); }
  void runUntilIdle() const { runLoop().runUntilIdle(); }
  Date now() const { return platform_->clock().now(); }

  void startTracker() {
    tracker_ = VisitTracker::cachedQueue(client_);
    tracker_->createQueue();
    tracker_->setDelegate(delegate_);
  }
  // As after a relaunch: a new tracker from the file, its saved work queued again.
  void restartTracker() {
    tracker_.reset();
    startTracker();
    tracker_->addArchivedOperations();
    runUntilIdle();
  }

  platform::SimulatedHttpTransport& transport() const {
    return platform().simulatedHttpTransport();
  }
  // Answers the oldest pending request and lets the answer through.
  void answer(int status, const Json& body = Json::object()) {
    ASSERT_TRUE(transport().respondToNext(
        platform::SimulatedHttpTransport::response(status, status < 300 ? body.dump() : "")));
    runUntilIdle();
  }
  std::vector<std::string> paths() const {
    std::vector<std::string> result;
    for (const auto& request : transport().sentRequests()) {
      result.push_back(request.url.substr(client_->hosts().serviceApi.size()));
    }
    return result;
  }
  Json body(std::size_t index) const {
    const auto bytes = transport().sentRequests().at(index).body.value();
    return Json::parse(bytes.begin(), bytes.end());
  }

  // The tracker as the file holds it now; nothing without a file.
  std::shared_ptr<VisitTracker> saved() const {
    return platform::KeyedUnarchiver::unarchiveObjectOfClassWithFile<VisitTracker>(
        VisitTracker::venueCachePath());
  }
  std::size_t savedOperationCount() const {
    const auto tracker = saved();
    return tracker ? tracker->operationsQueue().size() : 0;
  }

  std::shared_ptr<MetaOperationBase> resolveStayAt(
      double latitude, double longitude,
      std::optional<std::vector<std::shared_ptr<TRFilter>>> filters = std::nullopt) {
    auto stay = stayAt(latitude, longitude);
    const Location last = stay.back()->location;
    auto descriptor =
        tracker_->determineLocationAtLocations(std::move(stay), last, std::move(filters));
    runUntilIdle();
    return descriptor;
  }

  std::optional<TemporaryDirectory> directory_;
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
  std::shared_ptr<TRNetworkClient> client_;
  std::shared_ptr<RecordingTrackerDelegate> delegate_ =
      std::make_shared<RecordingTrackerDelegate>();
  std::shared_ptr<VisitTracker> tracker_;
};

}  // namespace trevalo::testing
