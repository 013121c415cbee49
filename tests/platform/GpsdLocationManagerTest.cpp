#include "trevalo/platform/linux/GpsdLocationManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "platform/Gpsfake.h"
#include "support/PlatformTest.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/linux/SystemPlatform.h"
#include "trevalo/platform/simulated/SimulatedLocationManager.h"

namespace trevalo::platform {
namespace {

using namespace std::chrono_literals;
using testing::Gpsfake;
using testing::NmeaFix;

const std::filesystem::path kLogs = std::filesystem::path(TREVALO_TEST_DATA_DIR) / "nmea";
// Nearly still, 187 fixes over three minutes, dated after every GPS week rollover. The
// manager's own rules (filters, regions) are those of the software location manager, tested
// there; here the fixes, the session and the outages are gpsd's.
const std::filesystem::path kStill = kLogs / "telit-he910.log";

struct Recorder final : LocationManagerDelegate {
  void locationManagerDidUpdateLocations(LocationManager&,
                                         const std::vector<Location>& locations) override {
    fixes.insert(fixes.end(), locations.begin(), locations.end());
  }
  void locationManagerDidUpdateHeading(LocationManager&, const Heading& heading) override {
    headings.push_back(heading);
  }
  void locationManagerDidFailWithError(LocationManager&, const Error& error) override {
    EXPECT_EQ(error.domain(), GpsdLocationManager::kErrorDomain);
    errors.push_back(error.code());
  }
  std::vector<Location> fixes;
  std::vector<Heading> headings;
  std::vector<std::int64_t> errors;
};

// Where in the log a delivered fix is; the log's size when it is not there. A receiver that
// reports dates before its last GPS week rollover gets them moved forward by whole weeks, so
// the time is compared within the week.
std::size_t indexOf(const std::vector<NmeaFix>& log, const Location& fix) {
  constexpr double kWeek = 7 * 86400.0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const double apart = std::fmod(fix.timestamp().timeIntervalSince1970() - log[i].time, kWeek);
    if ((apart < 1e-3 || apart > kWeek - 1e-3) &&
        std::fabs(log[i].latitude - fix.coordinate().latitude) < 1e-7 &&
        std::fabs(log[i].longitude - fix.coordinate().longitude) < 1e-7) {
      return i;
    }
  }
  return log.size();
}

class GpsdLocationManagerTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    if (const auto reason = Gpsfake::unavailableReason()) GTEST_SKIP() << *reason;
  }
  void TearDown() override {
    manager_.reset();
    PlatformTest::TearDown();
  }
  void connect(const Gpsfake& gpsd) {
    manager_ = GpsdLocationManager::make(platform().services().runLoop, {.host = "127.0.0.1",
                                                                         .port = gpsd.port(),
                                                                         .minimumRetryDelay = 0.05,
                                                                         .maximumRetryDelay = 0.2});
    manager_->setDelegate(recorder_);
  }
  // Runs the fixes in as they come until `done` holds (a failed expectation after `limit`).
  // `done` may read what other threads change, so it is asked again every few milliseconds.
  void runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 40s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!runLoop().runUntil(done, 10ms)) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "still waiting after " << limit.count() << " ms";
        return;
      }
    }
  }
  // Runs the loop for a while, whatever comes.
  void runFor(std::chrono::milliseconds duration) {
    runLoop().runUntil([] { return false; }, duration);
  }

  std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
  std::shared_ptr<GpsdLocationManager> manager_;
};

TEST_F(GpsdLocationManagerTest, EveryFixOfTheLogArrivesWithItsPlaceTimeSpeedCourseAndAccuracy) {
  const auto log = testing::readNmeaFixes(kStill);
  ASSERT_EQ(log.size(), 187u);
  Gpsfake gpsd(kStill, 0.003);
  connect(gpsd);
  manager_->setHeadingFilter(0.0);
  manager_->startUpdatingHeading();
  manager_->startUpdatingLocation();
  const double lastTime = log.back().time;
  runUntil([&] {
    return !recorder_->fixes.empty() &&
           recorder_->fixes.back().timestamp().timeIntervalSince1970() >= lastTime - 1e-3;
  });
  runFor(200ms);  // nothing comes after the log's last fix
  ASSERT_FALSE(recorder_->fixes.empty());

  // The session may open a little after gpsd started reading: from its first fix on, every
  // fix of the log arrives, once, in order.
  const std::size_t first = indexOf(log, recorder_->fixes.front());
  ASSERT_LT(first, log.size() / 4) << "most of the log arrives";
  ASSERT_EQ(recorder_->fixes.size(), log.size() - first);
  std::vector<double> accuracyPerHdop;
  for (std::size_t i = 0; i < recorder_->fixes.size(); ++i) {
    const Location& fix = recorder_->fixes[i];
    const NmeaFix& expected = log[first + i];
    SCOPED_TRACE("fix " + std::to_string(first + i));
    EXPECT_NEAR(fix.coordinate().latitude, expected.latitude, 1e-7);
    EXPECT_NEAR(fix.coordinate().longitude, expected.longitude, 1e-7);
    EXPECT_NEAR(fix.timestamp().timeIntervalSince1970(), expected.time, 1e-3);
    EXPECT_NEAR(fix.speed(), expected.speed, 1e-3);
    EXPECT_NEAR(fix.course(), expected.course, 1e-3);
    ASSERT_GT(expected.hdop, 0.0);
    accuracyPerHdop.push_back(fix.horizontalAccuracy() / expected.hdop);
  }
  // The accuracy is gpsd's error estimate, which scales with the receiver's dilution of
  // precision: one factor for the whole log.
  for (const double ratio : accuracyPerHdop) {
    EXPECT_GT(ratio, 1.0);
    EXPECT_NEAR(ratio, accuracyPerHdop.front(), 1e-6 * ratio);
  }
  // Headings come from the track, one per fix with no heading filter.
  ASSERT_EQ(recorder_->headings.size(), recorder_->fixes.size());
  for (std::size_t i = 0; i < recorder_->headings.size(); ++i) {
    EXPECT_NEAR(recorder_->headings[i].trueHeading, log[first + i].course, 1e-3);
  }
  EXPECT_TRUE(recorder_->errors.empty());
}

TEST_F(GpsdLocationManagerTest, AStopClosesTheSessionAndGpsdKilledMidLogIsOneError) {
  Gpsfake gpsd(kStill, 0.003);
  connect(gpsd);
  manager_->startUpdatingLocation();
  runUntil([&] { return recorder_->fixes.size() >= 15; });
  manager_->stopUpdatingLocation();
  const std::size_t atStop = recorder_->fixes.size();
  runUntil([&] { return !manager_->isConnected(); }, 5s);
  runFor(200ms);
  EXPECT_EQ(recorder_->fixes.size(), atStop) << "nothing after the stop";

  // Started again, with state that must outlive an outage.
  const CircularRegion office{{50.8402, 4.3471}, 50.0, "office"};
  manager_->startMonitoringForRegion(office);
  manager_->setDistanceFilter(kDistanceFilterNone);
  manager_->startUpdatingLocation();
  runUntil([&] { return recorder_->fixes.size() >= atStop + 15; });
  EXPECT_TRUE(recorder_->errors.empty()) << "closing for want of demand is no failure";

  gpsd.kill();
  runUntil([&] { return !recorder_->errors.empty(); }, 10s);
  EXPECT_EQ(recorder_->errors,
            (std::vector<std::int64_t>{GpsdLocationManager::kErrorConnectionLost}));
  runFor(300ms);  // attempts fail meanwhile, unreported
  const std::size_t beforeRestart = recorder_->fixes.size();

  gpsd.restart();
  runUntil([&] { return recorder_->fixes.size() >= beforeRestart + 15; });
  EXPECT_EQ(recorder_->errors.size(), 1u);
  EXPECT_TRUE(manager_->isConnected());
  EXPECT_EQ(manager_->monitoredRegions(), (std::vector<CircularRegion>{office}));
  EXPECT_EQ(manager_->distanceFilter(), kDistanceFilterNone);
  EXPECT_TRUE(manager_->isUpdatingLocation());
}

TEST_F(GpsdLocationManagerTest, NoGpsdIsReportedOnceAndTheAddressIsChecked) {
  const std::string port = testing::freeLoopbackPort();
  EXPECT_FALSE(GpsdLocationManager::answers({.host = "127.0.0.1", .port = port}, 0.5));
  manager_ = GpsdLocationManager::make(
      platform().services().runLoop,
      {.host = "127.0.0.1", .port = port, .minimumRetryDelay = 0.01, .maximumRetryDelay = 0.02});
  manager_->setDelegate(recorder_);
  manager_->startUpdatingLocation();
  runUntil([&] { return !recorder_->errors.empty(); }, 10s);
  runFor(200ms);
  EXPECT_EQ(recorder_->errors, (std::vector<std::int64_t>{GpsdLocationManager::kErrorUnreachable}));

  EXPECT_THROW(GpsdLocationManager::make(platform().services().runLoop, {.host = ""}), Exception);
  EXPECT_THROW(GpsdLocationManager::make(platform().services().runLoop,
                                         {.minimumRetryDelay = 2, .maximumRetryDelay = 1}),
               Exception);
}

TEST_F(GpsdLocationManagerTest, TheSystemPlatformTakesGpsdWhenItAnswersAndTheFedManagerOtherwise) {
  Gpsfake gpsd(kStill, 0.01);
  const testing::TemporaryDirectory directory;
  const auto kind = [&](std::optional<GpsdLocationManager::Options> options) {
    const auto system = SystemPlatform::make({.documentsDirectory = directory.path(),
                                              .runLoopOnOwnThread = false,
                                              .gpsd = std::move(options)});
    const auto manager = system->makeLocationManager();
    if (std::dynamic_pointer_cast<GpsdLocationManager>(manager)) return "gpsd";
    if (std::dynamic_pointer_cast<SimulatedLocationManager>(manager)) return "fed";
    return "other";
  };
  EXPECT_STREQ(kind(GpsdLocationManager::Options{.host = "127.0.0.1", .port = gpsd.port()}),
               "gpsd");
  EXPECT_STREQ(
      kind(GpsdLocationManager::Options{.host = "127.0.0.1", .port = testing::freeLoopbackPort()}),
      "fed")
      << "nobody answers there";
  EXPECT_STREQ(kind(std::nullopt), "fed") << "the application keeps feeding its own fixes";
}

}  // namespace
}  // namespace trevalo::platform
