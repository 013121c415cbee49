#include "trevalo/platform/simulated/SimulatedLocationManager.h"

#include <gtest/gtest.h>

#include "support/PlatformTest.h"

namespace trevalo::platform {
namespace {

struct RecordingDelegate final : LocationManagerDelegate {
  void locationManagerDidUpdateLocations(LocationManager&,
                                         const std::vector<Location>& locations) override {
    for (const auto& l : locations)
      log.push_back("fix:" + std::to_string(int(l.coordinate().latitude)));
  }
  void locationManagerDidFailWithError(LocationManager&, const Error& error) override {
    log.push_back("error:" + std::to_string(error.code()));
  }
  void locationManagerDidUpdateHeading(LocationManager&, const Heading& heading) override {
    log.push_back("heading:" + std::to_string(int(heading.magneticHeading)));
  }
  void locationManagerDidEnterRegion(LocationManager&, const CircularRegion& region) override {
    log.push_back("enter:" + region.identifier);
  }
  void locationManagerDidExitRegion(LocationManager&, const CircularRegion& region) override {
    log.push_back("exit:" + region.identifier);
  }
  std::vector<std::string> log;
};

class SimulatedLocationManagerTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    locationManager().setDelegate(delegate_);
  }
  Location fix(double latitude) { return Location({latitude, 0}, 0, 5, -1, -1, -1, now()); }

  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(SimulatedLocationManagerTest, RegionsAreReplacedByIdentifierAndOnlyMonitoredOnesReport) {
  auto& manager = locationManager();
  manager.startMonitoringForRegion({{1, 1}, 16, "a"});
  manager.startMonitoringForRegion({{2, 2}, 16, "b"});
  manager.startMonitoringForRegion({{3, 3}, 20, "a"});
  EXPECT_EQ(manager.monitoredRegions(),
            (std::vector<CircularRegion>{{{2, 2}, 16, "b"}, {{3, 3}, 20, "a"}}));
  EXPECT_TRUE(manager.deliverRegionEntry("a"));
  EXPECT_FALSE(manager.deliverRegionExit("nowhere"));
  manager.stopMonitoringForRegion({{0, 0}, 0, "b"});
  EXPECT_FALSE(manager.deliverRegionExit("b"));
  manager.deliverFailure(Error("Location", 1));
  runUntilIdle();
  EXPECT_EQ(delegate_->log, (std::vector<std::string>{"enter:a", "error:1"}));
}

// Everything goes out later, on the run loop, and only if its stream is still on then (and
// about the region still watched): what is queued when a stream stops is dropped.
TEST_F(SimulatedLocationManagerTest, WhatIsQueuedWhenItsStreamStopsIsDropped) {
  auto& manager = locationManager();
  Heading heading{.magneticHeading = 90.0, .timestamp = Date()};
  EXPECT_FALSE(manager.deliverLocations({fix(1)})) << "updates are off";
  EXPECT_FALSE(manager.deliverHeading(heading)) << "headings are off";
  manager.startUpdatingLocation();
  manager.startUpdatingHeading();
  manager.startMonitoringForRegion({{1, 1}, 16, "a"});
  manager.startMonitoringForRegion({{2, 2}, 16, "b"});
  EXPECT_TRUE(manager.deliverLocations({fix(2), fix(3)}));
  EXPECT_TRUE(delegate_->log.empty()) << "delivered later, on the run loop";
  runUntilIdle();
  EXPECT_EQ(delegate_->log, (std::vector<std::string>{"fix:2", "fix:3"}));

  EXPECT_TRUE(manager.deliverLocations({fix(4)}));
  EXPECT_TRUE(manager.deliverHeading(heading));
  EXPECT_TRUE(manager.deliverRegionEntry("a"));
  EXPECT_TRUE(manager.deliverRegionExit("b"));
  manager.stopUpdatingLocation();
  manager.stopUpdatingHeading();
  manager.stopMonitoringForRegion({{1, 1}, 16, "a"});
  // "b" now names another area: the exit was about the one no longer watched.
  manager.startMonitoringForRegion({{5, 5}, 16, "b"});
  runUntilIdle();
  EXPECT_EQ(delegate_->log.size(), 2u);

  manager.startUpdatingHeading();
  heading.magneticHeading = 180.0;
  EXPECT_TRUE(manager.deliverHeading(heading));
  EXPECT_TRUE(manager.deliverRegionEntry("b"));
  runUntilIdle();
  EXPECT_EQ(delegate_->log, (std::vector<std::string>{"fix:2", "fix:3", "heading:180", "enter:b"}));

  manager.startUpdatingLocation();
  manager.deliverLocations({fix(5)});
  delegate_.reset();
  runUntilIdle();  // a delegate gone meanwhile is not called
}

}  // namespace
}  // namespace trevalo::platform
