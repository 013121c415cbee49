#include "trevalo/platform/SimulatedMotionSensors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "support/PlatformTest.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/SystemPlatform.h"

namespace trevalo::platform {
namespace {

// Runs work on the run loop, counting what it is given.
class CountingExecutor final : public Executor {
 public:
  explicit CountingExecutor(std::shared_ptr<RunLoop> runLoop) : runLoop_(std::move(runLoop)) {}
  void execute(Task task) override {
    ++tasks;
    runLoop_->post(std::move(task));
  }
  int tasks = 0;

 private:
  std::shared_ptr<RunLoop> runLoop_;
};

double length(const Acceleration& a) {
  return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

class SimulatedMotionSensorsTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    executor_ = std::make_shared<CountingExecutor>(platform().services().runLoop);
  }

  SimulatedMotionSensors& sensors() const { return platform().motionSensors(); }
  std::shared_ptr<OperationQueue> queue() {
    auto queue = std::make_shared<OperationQueue>(executor_);
    queue->setMaxConcurrentOperationCount(1);
    return queue;
  }
  double uptime() const { return platform().clock().systemUptime(); }

  std::shared_ptr<CountingExecutor> executor_;
};

TEST_F(SimulatedMotionSensorsTest, SamplesComeAtTheUpdateIntervalOnTheGivenQueue) {
  sensors().setMotionScript(MotionScript::walking(60.0));
  platform().makeMotionManager();
  const auto manager = sensors().motionManager();
  manager->setAccelerometerUpdateInterval(0.05);
  manager->setGyroUpdateInterval(0.25);

  std::vector<AccelerometerData> accelerations;
  std::vector<GyroData> rotations;
  const double start = uptime();
  manager->startAccelerometerUpdatesToQueue(
      queue(), [&](const AccelerometerData& sample) { accelerations.push_back(sample); });
  manager->startGyroUpdatesToQueue(queue(),
                                   [&](const GyroData& sample) { rotations.push_back(sample); });
  advanceBy(1.0);

  ASSERT_EQ(accelerations.size(), 20U);
  EXPECT_EQ(rotations.size(), 4U);
  EXPECT_EQ(executor_->tasks, 24);
  // Stamped with the clock's uptime (which resolves about a ten-millionth of a second).
  for (std::size_t i = 0; i < accelerations.size(); ++i) {
    EXPECT_NEAR(accelerations[i].timestamp - start, 0.05 * static_cast<double>(i + 1), 1e-6);
  }

  manager->stopAccelerometerUpdates();
  manager->stopGyroUpdates();
  EXPECT_FALSE(manager->deliverAccelerometerData({}));
  advanceBy(1.0);
  EXPECT_EQ(accelerations.size(), 20U);
  EXPECT_EQ(rotations.size(), 4U);
}

TEST_F(SimulatedMotionSensorsTest, UpdateIntervalsAndStartsAreChecked) {
  const auto manager = sensors().makeMotionManager();
  manager->setAccelerometerUpdateInterval(0.0001);
  EXPECT_EQ(manager->accelerometerUpdateInterval(),
            SimulatedMotionManager::kShortestUpdateInterval);
  EXPECT_THROW(manager->setGyroUpdateInterval(std::numeric_limits<double>::quiet_NaN()), Exception);
  EXPECT_THROW(manager->setGyroUpdateInterval(-1.0), Exception);
  EXPECT_THROW(manager->startAccelerometerUpdatesToQueue(nullptr, [](const auto&) {}), Exception);
  EXPECT_THROW(manager->startGyroUpdatesToQueue(queue(), nullptr), Exception);
}

TEST_F(SimulatedMotionSensorsTest, TheDeviceMovesOnWhileNoSensorIsOn) {
  sensors().setMotionScript(MotionScript::still(5.0).then(MotionScript::freeFall(1.0)));
  advanceBy(5.0);
  const auto manager = sensors().makeMotionManager();
  manager->setAccelerometerUpdateInterval(0.1);

  std::vector<AccelerometerData> samples;
  manager->startAccelerometerUpdatesToQueue(
      queue(), [&](const AccelerometerData& sample) { samples.push_back(sample); });
  advanceBy(2.0);
  // The free fall is what is left of the script, and then it falls silent.
  ASSERT_GE(samples.size(), 9U);
  ASSERT_LE(samples.size(), 10U);
  for (const auto& sample : samples)
    EXPECT_LT(length(sample.acceleration), 0.01);

  // A new script brings samples again, on the stream that stayed on.
  sensors().setMotionScript(MotionScript::still(1.0));
  advanceBy(0.5);
  EXPECT_NEAR(length(samples.back().acceleration), 1.0, 0.01);
}

TEST_F(SimulatedMotionSensorsTest, EachFactoryCallMakesAFreshSensorOfWhatTheDeviceHas) {
  sensors().setGyroAvailable(false);
  const auto first = platform().makeMotionManager();
  const auto second = platform().makeMotionManager();
  EXPECT_NE(first, second);
  EXPECT_EQ(sensors().motionManager(), second);
  EXPECT_EQ(sensors().motionManagersMade(), 2U);
  EXPECT_FALSE(second->isGyroAvailable());
  second->startGyroUpdatesToQueue(queue(), [](const GyroData&) {});
  EXPECT_FALSE(sensors().motionManager()->isGyroActive());

  sensors().setHasAltimeter(false);
  EXPECT_EQ(platform().makeAltimeter(), nullptr);
  sensors().setHasAltimeter(true);
  sensors().setRelativeAltitudeAvailable(false);
  EXPECT_FALSE(platform().makeAltimeter()->isRelativeAltitudeAvailable());
}

TEST_F(SimulatedMotionSensorsTest, AltitudeIsRelativeToTheStreamsFirstSample) {
  sensors().setAltitudeScript(AltitudeScript::climbing(100.0, 0.5));
  advanceBy(10.0);
  const auto altimeter = platform().makeAltimeter();
  std::vector<AltitudeData> samples;
  altimeter->startRelativeAltitudeUpdatesToQueue(
      queue(), [&](const AltitudeData& sample) { samples.push_back(sample); });
  advanceBy(3.0);
  ASSERT_EQ(samples.size(), 3U);
  EXPECT_EQ(samples[0].relativeAltitude, 0.0);
  EXPECT_EQ(samples[2].relativeAltitude, 1.0);

  altimeter->stopRelativeAltitudeUpdates();
  EXPECT_FALSE(sensors().altimeter()->isRelativeAltitudeActive());
  advanceBy(3.0);
  EXPECT_EQ(samples.size(), 3U);
}

TEST_F(SimulatedMotionSensorsTest, TheClassifierReportsTheCurrentActivityThenEachChange) {
  sensors().setActivityScript(MotionActivityScript::activity(10.0, {.stationary = true})
                                  .then(MotionActivityScript::activity(5.0, {.walking = true}))
                                  .then(MotionActivityScript::activity(5.0, {.walking = true}))
                                  .then(MotionActivityScript::activity(5.0, {.automotive = true})));
  advanceBy(4.0);
  const auto classifier = platform().makeMotionActivityManager();
  struct Update {
    MotionActivity activity;
    double at;
  };
  std::vector<Update> updates;
  const double start = uptime();
  classifier->startActivityUpdatesToQueue(queue(), [&](const MotionActivity& activity) {
    updates.push_back({activity, uptime() - start});
  });
  advanceBy(30.0);

  // A repeated activity is a new update of its own; after the script, nothing more.
  ASSERT_EQ(updates.size(), 4U);
  EXPECT_EQ(updates[0].activity, MotionActivity{.stationary = true});
  EXPECT_EQ(updates[0].at, 0.0);
  EXPECT_EQ(updates[1].activity, MotionActivity{.walking = true});
  EXPECT_NEAR(updates[1].at, 6.0, 1e-9);
  EXPECT_NEAR(updates[2].at, 11.0, 1e-9);
  EXPECT_EQ(updates[3].activity, MotionActivity{.automotive = true});
  EXPECT_NEAR(updates[3].at, 16.0, 1e-9);

  // A new script while the stream is on reports what is under way at once.
  sensors().setActivityScript(MotionActivityScript::activity(5.0, {.cycling = true}));
  runUntilIdle();
  ASSERT_EQ(updates.size(), 5U);
  EXPECT_EQ(updates[4].activity, MotionActivity{.cycling = true});

  classifier->stopActivityUpdates();
  EXPECT_FALSE(sensors().motionActivityManager()->deliverActivity({}));
}

// Linux has no motion sensors: the system platform's stand-ins report none and stay silent,
// unless the application brings sensors of its own.
TEST(SystemPlatformMotionTest, HasNoSensorsOfItsOwn) {
  const testing::TemporaryDirectory directory;
  const auto system = SystemPlatform::make({.documentsDirectory = directory.path()});
  const auto manager = system->makeMotionManager();
  EXPECT_FALSE(manager->isAccelerometerAvailable());
  EXPECT_FALSE(manager->isGyroAvailable());
  EXPECT_EQ(system->makeAltimeter(), nullptr);
  const auto classifier = system->makeMotionActivityManager();
  EXPECT_FALSE(classifier->isActivityAvailable());

  const auto queue = std::make_shared<OperationQueue>(system->operationExecutor());
  std::atomic<int> delivered{0};
  manager->setAccelerometerUpdateInterval(0.01);
  manager->startAccelerometerUpdatesToQueue(queue, [&](const AccelerometerData&) { ++delivered; });
  classifier->startActivityUpdatesToQueue(queue, [&](const MotionActivity&) { ++delivered; });
  EXPECT_THROW(manager->startGyroUpdatesToQueue(queue, nullptr), Exception);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(delivered.load(), 0);

  const auto withSensors = SystemPlatform::make({
      .documentsDirectory = directory.path(),
      .motionManagerFactory =
          [runLoop = system->services().runLoop] {
            return std::make_shared<SimulatedMotionManager>(runLoop);
          },
  });
  EXPECT_TRUE(withSensors->makeMotionManager()->isGyroAvailable());
}

}  // namespace
}  // namespace trevalo::platform
