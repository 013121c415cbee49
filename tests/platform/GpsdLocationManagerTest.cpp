#include "trevalo/platform/linux/GpsdLocationManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "platform/Gpsfake.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/linux/SystemPlatform.h"
#include "trevalo/platform/simulated/SimulatedLocationManager.h"

namespace trevalo::platform {
namespace {

using namespace std::chrono_literals;
using testing::Gpsfake;
using testing::NmeaFix;

const std::filesystem::path kLogs = std::filesystem::path(TREVALO_TEST_DATA_DIR) / "nmea";
// Nearly still, 187 fixes over three minutes, dated after every GPS week rollover.
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
  void connect(const GpsdLocationManager::Options& options) {
    manager_ = GpsdLocationManager::make(platform().services().runLoop, options);
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

// The manager's own rules (filters, regions, state kept across an outage, a stop closing the
// session) are the software location manager's and the gpsd receiver's, tested there with a
// scripted gpsd; here the fixes and the outage are a real gpsd's.
TEST_F(GpsdLocationManagerTest, EveryFixOfTheLogArrivesWholeAndAKilledGpsdIsOneErrorTillItIsBack) {
  const auto log = testing::readNmeaFixes(kStill);
  ASSERT_EQ(log.size(), 187u);
  Gpsfake gpsd(kStill, 0.003);
  connect({.host = "127.0.0.1",
           .port = gpsd.port(),
           .minimumRetryDelay = 0.05,
           .maximumRetryDelay = 0.2});
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
    // Headings come from the track, one per fix with no heading filter.
    ASSERT_LT(i, recorder_->headings.size());
    EXPECT_NEAR(recorder_->headings[i].trueHeading, expected.course, 1e-3);
  }
  EXPECT_EQ(recorder_->headings.size(), recorder_->fixes.size());
  // The accuracy is gpsd's error estimate, which scales with the receiver's dilution of
  // precision: one factor for the whole log.
  for (const double ratio : accuracyPerHdop) {
    EXPECT_GT(ratio, 1.0);
    EXPECT_NEAR(ratio, accuracyPerHdop.front(), 1e-6 * ratio);
  }
  EXPECT_TRUE(recorder_->errors.empty());

  gpsd.kill();
  runUntil([&] { return !recorder_->errors.empty(); }, 10s);
  runFor(300ms);  // attempts fail meanwhile, unreported
  EXPECT_EQ(recorder_->errors,
            (std::vector<std::int64_t>{GpsdLocationManager::kErrorConnectionLost}));
  const std::size_t beforeRestart = recorder_->fixes.size();
  gpsd.restart();
  runUntil([&] { return recorder_->fixes.size() >= beforeRestart + 15; });
  EXPECT_EQ(recorder_->errors.size(), 1u);
  EXPECT_TRUE(manager_->isConnected());
}

// Without gpsd, the system platform hands out the manager the application feeds.
TEST_F(GpsdLocationManagerTest, NoGpsdIsReportedOnceAndTheSystemPlatformFeedsItsOwnFixes) {
  const std::string port = testing::freeLoopbackPort();
  const GpsdLocationManager::Options nobody{
      .host = "127.0.0.1", .port = port, .minimumRetryDelay = 0.01, .maximumRetryDelay = 0.02};
  EXPECT_FALSE(GpsdLocationManager::answers(nobody, 0.5));
  connect(nobody);
  manager_->startUpdatingLocation();
  runUntil([&] { return !recorder_->errors.empty(); }, 10s);
  runFor(200ms);
  EXPECT_EQ(recorder_->errors, (std::vector<std::int64_t>{GpsdLocationManager::kErrorUnreachable}));

  EXPECT_THROW(GpsdLocationManager::make(platform().services().runLoop, {.host = ""}), Exception);
  EXPECT_THROW(GpsdLocationManager::make(platform().services().runLoop,
                                         {.minimumRetryDelay = 2, .maximumRetryDelay = 1}),
               Exception);

  for (const auto& gpsd : {std::optional(nobody), std::optional<GpsdLocationManager::Options>()}) {
    const auto system = SystemPlatform::make(
        {.documentsDirectory = documentsDirectory(), .runLoopOnOwnThread = false, .gpsd = gpsd});
    EXPECT_TRUE(std::dynamic_pointer_cast<SimulatedLocationManager>(system->makeLocationManager()));
  }
}

}  // namespace
}  // namespace trevalo::platform
