#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/KeyedUnarchiver.h"
#include "trevalo/platform/OperationQueue.h"
#include "trevalo/vell/TRVellLocation.h"
#include "trevalo/visits/VisitTracker.h"
#include "trevalo/visits/operations/MetaOperationDepart.h"

// Helpers of the visit tests: samples and places, a delegate that records what the tracker
// reports, and a fixture with a tracker on the simulated platform.
namespace trevalo::testing {

inline std::shared_ptr<TRVellLocation> sampleAt(double latitude, double longitude,
                                                Date time = Date(1767225600.0)) {
  return std::make_shared<TRVellLocation>(
      Location(Coordinate{latitude, longitude}, 10.0, 5.0, 3.0, -1.0, 0.0, time));
}

// `count` samples a metre or so apart, ending exactly at (latitude, longitude).
inline std::vector<std::shared_ptr<TRVellLocation>> stayAt(double latitude, double longitude,
                                                           std::size_t count = 3) {
  std::vector<std::shared_ptr<TRVellLocation>> samples;
  for (std::size_t i = count; i > 0; --i) {
    const double offset = static_cast<double>(i - 1) * 1e-5;
    samples.push_back(
        sampleAt(latitude + offset, longitude, Date(1767225600.0 - static_cast<double>(i) * 10.0)));
  }
  return samples;
}

// A service answer naming an address and a venue by their ids (an empty id is left out).
inline Json placeJson(const std::string& addressId, const std::string& venueId,
                      const std::string& country = "United States") {
  Json place = Json::object();
  if (!addressId.empty()) place["address"] = {{"id", addressId}, {"country", country}};
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

  // "start A1V1", "end A1V1": the kinds and visit identities, in order.
  std::vector<std::string> summary() const {
    std::vector<std::string> lines;
    for (const auto& event : events)
      lines.push_back(event.kind + " " + event.visit->cachedVisitId());
    return lines;
  }

  std::vector<Event> events;
  std::vector<std::shared_ptr<MetaOperationBase>> finished;
};

// A tracker restored from (an empty) documents directory, with its queue, a client holding a
// token, and a recording delegate. Requests go to the simulated transport.
class VisitTrackerTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    client_ = std::make_shared<TRNetworkClient>();
    client_->setApiKey("token");
    startTracker();
  }
  void TearDown() override {
    tracker_.reset();
    PlatformTest::TearDown();
  }

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

  std::shared_ptr<TRNetworkClient> client_;
  std::shared_ptr<RecordingTrackerDelegate> delegate_ =
      std::make_shared<RecordingTrackerDelegate>();
  std::shared_ptr<VisitTracker> tracker_;
};

}  // namespace trevalo::testing
