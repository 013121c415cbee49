#include "trevalo/platform/SoftwareLocationManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/PlatformTest.h"

namespace trevalo::platform {
namespace {

constexpr Coordinate kOrigin{48.0, 2.0};
// Metres along the meridian per degree of latitude at the origin, so that the offsets below are
// the geodesic distances the manager measures.
const double kMetresPerDegreeOfLatitude =
    Location(kOrigin, 0, 0, -1, -1, -1, Date())
        .distanceFromLocation(
            Location({kOrigin.latitude + 0.001, kOrigin.longitude}, 0, 0, -1, -1, -1, Date())) *
    1000.0;

// A fix `north` metres north of the origin, `seconds` after the test's start.
Location fixAt(double north, double seconds = 0.0, double accuracy = 5.0) {
  return Location({kOrigin.latitude + north / kMetresPerDegreeOfLatitude, kOrigin.longitude}, 0,
                  accuracy, -1, -1, -1, Date(1767225600.0 + seconds));
}

Heading headingOf(double trueHeading, double magneticHeading = 0.0) {
  return {.magneticHeading = magneticHeading, .trueHeading = trueHeading, .timestamp = Date()};
}

// Every callback as a short text: "fix:N" with N the fix's metres north, "batch" before the
// fixes of each batch, "heading:D", "enter:ID", "exit:ID", "error:CODE".
struct RecordingDelegate final : LocationManagerDelegate {
  void locationManagerDidUpdateLocations(LocationManager&,
                                         const std::vector<Location>& locations) override {
    log.push_back("batch");
    for (const auto& l : locations) {
      const double north =
          (l.coordinate().latitude - kOrigin.latitude) * kMetresPerDegreeOfLatitude;
      log.push_back("fix:" + std::to_string(static_cast<int>(std::lround(north))));
    }
    if (onFix) onFix();
  }
  void locationManagerDidFailWithError(LocationManager&, const Error& error) override {
    log.push_back("error:" + std::to_string(error.code()));
  }
  void locationManagerDidUpdateHeading(LocationManager&, const Heading& heading) override {
    log.push_back("heading:" + std::to_string(static_cast<int>(heading.trueHeading)));
  }
  void locationManagerDidEnterRegion(LocationManager&, const CircularRegion& region) override {
    log.push_back("enter:" + region.identifier);
  }
  void locationManagerDidExitRegion(LocationManager&, const CircularRegion& region) override {
    log.push_back("exit:" + region.identifier);
  }
  // Only the fixes, without the batch marks.
  std::vector<std::string> fixes() const {
    std::vector<std::string> result;
    for (const auto& entry : log)
      if (entry.rfind("fix:", 0) == 0) result.push_back(entry);
    return result;
  }
  std::vector<std::string> log;
  std::function<void()> onFix;
};

// Counts the demand changes it is told about.
class CountingManager final : public SoftwareLocationManager {
 public:
  using SoftwareLocationManager::SoftwareLocationManager;
  int changes = 0;

 protected:
  void demandChanged() override { ++changes; }
};

class SoftwareLocationManagerTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    manager_ = std::make_shared<CountingManager>(platform().services().runLoop);
    manager_->setDelegate(delegate_);
  }
  // Pushes the fixes one batch each and runs them through.
  void push(const std::vector<Location>& fixes) {
    for (const auto& fix : fixes)
      manager_->pushLocation(fix);
    runUntilIdle();
  }

  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<CountingManager> manager_;
};

using Fixes = std::vector<std::string>;

TEST_F(SoftwareLocationManagerTest, FixesGoOutOnTheRunLoopOnlyBetweenStartAndStop) {
  EXPECT_FALSE(manager_->pushLocation(fixAt(0))) << "nothing asks for fixes";
  manager_->startUpdatingLocation();
  EXPECT_TRUE(manager_->pushLocations({fixAt(1), fixAt(2)}));
  EXPECT_TRUE(delegate_->log.empty()) << "delivered later, on the run loop";
  runUntilIdle();
  EXPECT_EQ(delegate_->log, (Fixes{"batch", "fix:1", "fix:2"}));

  EXPECT_TRUE(manager_->pushLocation(fixAt(3)));
  manager_->stopUpdatingLocation();
  runUntilIdle();
  EXPECT_EQ(delegate_->fixes().size(), 2u) << "a fix still queued when updates stop is dropped";
  EXPECT_FALSE(manager_->pushLocation(fixAt(4)));

  manager_->startUpdatingLocation();
  const Location noAccuracy({48, 2}, 0, -1, -1, -1, -1, Date(1767225600.0));
  const Location nowhere(kCoordinateInvalid, 0, 5, -1, -1, -1, Date(1767225600.0));
  const Location notANumber({48, 2}, 0, std::nan(""), -1, -1, -1, Date(1767225600.0));
  manager_->pushLocations({noAccuracy, nowhere, notANumber});
  push({fixAt(5)});
  EXPECT_EQ(delegate_->fixes(), (Fixes{"fix:1", "fix:2", "fix:5"}))
      << "fixes that say nothing about where the device is are dropped";
}

struct DistanceCase {
  double filter;
  std::vector<double> north;  // metres, one fix each
  Fixes delivered;
};

class DistanceFilterTest : public SoftwareLocationManagerTest,
                           public ::testing::WithParamInterface<DistanceCase> {};

TEST_P(DistanceFilterTest, AFixCloserThanTheFilterToTheLastDeliveredOneIsHeldBack) {
  manager_->setDistanceFilter(GetParam().filter);
  manager_->startUpdatingLocation();
  std::vector<Location> fixes;
  for (const double north : GetParam().north)
    fixes.push_back(fixAt(north));
  push(fixes);
  EXPECT_EQ(delegate_->fixes(), GetParam().delivered);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, DistanceFilterTest,
    ::testing::Values(
        // None and unset take every fix, repeated places too.
        DistanceCase{kDistanceFilterNone, {0, 0, 1}, {"fix:0", "fix:0", "fix:1"}},
        DistanceCase{0.0, {0, 0}, {"fix:0", "fix:0"}},
        // Measured from the last fix delivered, not the last pushed: 3 + 3 m add up.
        DistanceCase{4.0, {0, 3, 6, 8, 12}, {"fix:0", "fix:6", "fix:12"}},
        DistanceCase{10.0, {0, 9, -9, 11, 20, 22}, {"fix:0", "fix:11", "fix:22"}},
        // The presets' "never": only the first fix.
        DistanceCase{9223372036854775808.0, {0, 5000}, {"fix:0"}}));

TEST_F(SoftwareLocationManagerTest, TheFirstFixAfterARestartGoesOutHoweverClose) {
  manager_->setDistanceFilter(50.0);
  manager_->startUpdatingLocation();
  push({fixAt(0), fixAt(10)});
  manager_->startUpdatingLocation();  // already on: nothing starts afresh
  push({fixAt(20)});
  manager_->stopUpdatingLocation();
  manager_->startUpdatingLocation();
  push({fixAt(30)});
  EXPECT_EQ(delegate_->fixes(), (Fixes{"fix:0", "fix:30"}));
}

struct AccuracyCase {
  const char* name;
  double desired;
  // (seconds, accuracy) of fixes placed 1 m apart, numbered from 0.
  std::vector<std::pair<double, double>> fixes;
  Fixes delivered;
};

class DesiredAccuracyTest : public SoftwareLocationManagerTest,
                            public ::testing::WithParamInterface<AccuracyCase> {};

TEST_P(DesiredAccuracyTest, WorseFixesWaitWhileBetterOnesKeepComing) {
  manager_->setDesiredAccuracy(GetParam().desired);
  manager_->startUpdatingLocation();
  std::vector<Location> fixes;
  for (std::size_t i = 0; i < GetParam().fixes.size(); ++i) {
    const auto [seconds, accuracy] = GetParam().fixes[i];
    fixes.push_back(fixAt(static_cast<double>(i), seconds, accuracy));
  }
  push(fixes);
  EXPECT_EQ(delegate_->fixes(), GetParam().delivered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DesiredAccuracyTest,
    ::testing::Values(
        AccuracyCase{
            "BestTakesEverything", kLocationAccuracyBest, {{0, 5}, {1, 3000}}, {"fix:0", "fix:1"}},
        AccuracyCase{"UnsetTakesEverything", 0.0, {{0, 5}, {1, 3000}}, {"fix:0", "fix:1"}},
        // Equal to the wish counts as within it; 12 s after the last good one the poor one
        // goes out, and a new good one holds the next poor one back again.
        AccuracyCase{"GraceAfterTheLastGoodFix",
                     10.0,
                     {{0, 10}, {5, 65}, {9.9, 65}, {12, 65}, {13, 8}, {14, 65}},
                     {"fix:0", "fix:3", "fix:4"}},
        // A receiver that never meets the wish still reports everything.
        AccuracyCase{
            "NothingGoodEver", 10.0, {{0, 30}, {1, 40}, {2, 30}}, {"fix:0", "fix:1", "fix:2"}},
        // A clock stepping back is no sign of good fixes coming.
        AccuracyCase{"ClockSteppedBack", 100.0, {{50, 20}, {40, 500}}, {"fix:0", "fix:1"}},
        AccuracyCase{"CoarseWishTakesModestFixes",
                     kLocationAccuracyThreeKilometers,
                     {{0, 5}, {1, 2999}, {2, 3001}},
                     {"fix:0", "fix:1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoftwareLocationManagerTest, AGoodFixHeldBackByTheDistanceFilterStillCountsAsGood) {
  manager_->setDesiredAccuracy(10.0);
  manager_->setDistanceFilter(4.0);
  manager_->startUpdatingLocation();
  push({fixAt(0, 0, 5), fixAt(1, 8, 5), fixAt(9, 12, 50)});
  EXPECT_EQ(delegate_->fixes(), (Fixes{"fix:0"}));
}

TEST_F(SoftwareLocationManagerTest, SignificantChangesGiveAFixEvery500MetresWhileUpdatesAreOff) {
  manager_->startMonitoringSignificantLocationChanges();
  push({fixAt(0), fixAt(300), fixAt(499), fixAt(501), fixAt(900), fixAt(1002)});
  EXPECT_EQ(delegate_->fixes(), (Fixes{"fix:0", "fix:501", "fix:1002"}));

  // While updates run they alone report, and the last fix they deliver is where the next
  // significant change is measured from once they stop.
  delegate_->log.clear();
  manager_->setDistanceFilter(kDistanceFilterNone);
  manager_->startUpdatingLocation();
  push({fixAt(1100), fixAt(1200)});
  manager_->stopUpdatingLocation();
  push({fixAt(1600), fixAt(1701)});
  EXPECT_EQ(delegate_->fixes(), (Fixes{"fix:1100", "fix:1200", "fix:1701"}));

  manager_->stopMonitoringSignificantLocationChanges();
  EXPECT_FALSE(manager_->pushLocation(fixAt(5000)));
  manager_->startMonitoringSignificantLocationChanges();
  push({fixAt(1702)});
  EXPECT_EQ(delegate_->fixes().back(), "fix:1702") << "a new start reports where it is at once";
}

TEST_F(SoftwareLocationManagerTest, HeadingsFollowTheSwitchAndTheFilterAroundTheCircle) {
  EXPECT_FALSE(manager_->pushHeading(headingOf(10)));
  manager_->setHeadingFilter(10.0);
  manager_->startUpdatingHeading();
  for (const double degrees : {350.0, 355.0, 359.0, 1.0, 5.0, 20.0, 25.0, 200.0})
    manager_->pushHeading(headingOf(degrees));
  // An unknown true heading falls back on the magnetic one: 212 is 12 degrees on from 200.
  manager_->pushHeading(headingOf(-1, 212));
  runUntilIdle();
  EXPECT_EQ(delegate_->log,
            (Fixes{"heading:350", "heading:1", "heading:20", "heading:200", "heading:-1"}));

  delegate_->log.clear();
  manager_->setHeadingFilter(0.0);
  manager_->pushHeading(headingOf(30));
  manager_->pushHeading(headingOf(30));
  runUntilIdle();
  EXPECT_EQ(delegate_->log, (Fixes{"heading:30", "heading:30"})) << "no filter takes everything";

  manager_->pushHeading(headingOf(90));
  manager_->stopUpdatingHeading();
  runUntilIdle();
  EXPECT_EQ(delegate_->log.size(), 2u) << "queued before the stop, not delivered after it";
}

TEST_F(SoftwareLocationManagerTest, RegionCrossingsUseTheExitMarginAsHysteresis) {
  // Radius 100 m: exits need more than 110 m. Location updates stay off throughout.
  manager_->startMonitoringForRegion({kOrigin, 100.0, "shop"});
  // A second region far away, with the 10 m floor of the margin: radius 16, exit beyond 26.
  const Coordinate farAway{kOrigin.latitude + 1000 / kMetresPerDegreeOfLatitude, kOrigin.longitude};
  manager_->startMonitoringForRegion({farAway, 16.0, "door"});
  push({fixAt(150), fixAt(95), fixAt(105), fixAt(109), fixAt(111), fixAt(105), fixAt(99),
        fixAt(985), fixAt(1025), fixAt(1027)});
  EXPECT_EQ(delegate_->log, (Fixes{"enter:shop", "exit:shop", "enter:shop", "exit:shop",
                                   "enter:door", "exit:door"}));
  EXPECT_TRUE(delegate_->fixes().empty()) << "regions alone deliver no fixes";
}

TEST_F(SoftwareLocationManagerTest, TheFirstFixOnlyFindsTheSideAndAReplacedRegionStartsAnew) {
  manager_->startMonitoringForRegion({kOrigin, 100.0, "shop"});
  push({fixAt(0)});  // inside from the start: no entry
  EXPECT_TRUE(delegate_->log.empty());
  // The same identifier somewhere else replaces the region and forgets the side.
  const Coordinate north{kOrigin.latitude + 500 / kMetresPerDegreeOfLatitude, kOrigin.longitude};
  manager_->startMonitoringForRegion({north, 100.0, "shop"});
  EXPECT_EQ(manager_->monitoredRegions(), (std::vector<CircularRegion>{{north, 100.0, "shop"}}));
  push({fixAt(0), fixAt(450)});
  EXPECT_EQ(delegate_->log, (Fixes{"enter:shop"})) << "outside the new circle, then into it";
}

TEST_F(SoftwareLocationManagerTest, NoRegionEventAfterTheRegionStoppedBeingMonitored) {
  manager_->startMonitoringForRegion({kOrigin, 100.0, "a"});
  manager_->startMonitoringForRegion({kOrigin, 50.0, "b"});
  push({fixAt(200)});
  manager_->pushLocation(fixAt(0));
  manager_->stopMonitoringForRegion({{0, 0}, 0, "a"});
  runUntilIdle();
  EXPECT_EQ(delegate_->log, (Fixes{"enter:b"})) << "queued before the stop, not delivered after";

  // Stopped from the fix callback of the same batch: its event does not follow.
  manager_->startUpdatingLocation();
  delegate_->log.clear();
  delegate_->onFix = [&] { manager_->stopMonitoringForRegion({{0, 0}, 0, "b"}); };
  push({fixAt(200)});
  EXPECT_EQ(delegate_->log, (Fixes{"batch", "fix:200"}));
}

TEST_F(SoftwareLocationManagerTest, TheSourceIsToldOnlyWhenTheDemandMoves) {
  manager_->startUpdatingLocation();
  manager_->startUpdatingLocation();
  manager_->startMonitoringForRegion({kOrigin, 10, "a"});
  manager_->startMonitoringSignificantLocationChanges();
  manager_->stopUpdatingLocation();
  manager_->stopMonitoringSignificantLocationChanges();
  EXPECT_EQ(manager_->changes, 1) << "the region still wants fixes";
  EXPECT_TRUE(manager_->wantsLocations());
  manager_->stopMonitoringForRegion({kOrigin, 10, "a"});
  EXPECT_EQ(manager_->changes, 2);
  EXPECT_FALSE(manager_->wantsLocations());

  manager_->startUpdatingHeading();
  EXPECT_TRUE(manager_->wantsHeadings());
  manager_->stopUpdatingHeading();
  manager_->stopUpdatingHeading();
  EXPECT_EQ(manager_->changes, 4);
}

TEST_F(SoftwareLocationManagerTest, FailuresGoOutAndNothingReachesADelegateOrManagerGone) {
  manager_->pushFailure(Error("Source", 7));
  EXPECT_TRUE(delegate_->log.empty());
  runUntilIdle();
  EXPECT_EQ(delegate_->log, (Fixes{"error:7"}));

  manager_->startUpdatingLocation();
  manager_->pushLocation(fixAt(0));
  delegate_.reset();
  runUntilIdle();  // the delegate went meanwhile: nobody is called

  const auto delegate = std::make_shared<RecordingDelegate>();
  manager_->setDelegate(delegate);
  manager_->pushLocation(fixAt(0));
  manager_.reset();
  runUntilIdle();
  EXPECT_TRUE(delegate->log.empty()) << "the manager went before its work ran";
  EXPECT_THROW(SoftwareLocationManager(nullptr), Exception);
}

}  // namespace
}  // namespace trevalo::platform
