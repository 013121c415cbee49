#include "trevalo/platform/simulated/SimulatedMotionSensors.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"

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
  EXPECT_NEAR(accelerations.front().timestamp - start, 0.05, 1e-6);
  EXPECT_NEAR(accelerations.back().timestamp - start, 1.0, 1e-6);

  manager->stopAccelerometerUpdates();
  manager->stopGyroUpdates();
  advanceBy(1.0);
  EXPECT_EQ(accelerations.size(), 20U);
  EXPECT_EQ(rotations.size(), 4U);
}

TEST_F(SimulatedMotionSensorsTest, BadIntervalsAndStartsAreRefusedAndMissingSensorsStayOff) {
  sensors().setGyroAvailable(false);
  const auto manager = sensors().makeMotionManager();
  manager->setAccelerometerUpdateInterval(0.0001);
  EXPECT_EQ(manager->accelerometerUpdateInterval(),
            SimulatedMotionManager::kShortestUpdateInterval);
  EXPECT_THROW(manager->setGyroUpdateInterval(std::numeric_limits<double>::quiet_NaN()), Exception);
  EXPECT_THROW(manager->startAccelerometerUpdatesToQueue(nullptr, [](const auto&) {}), Exception);
  manager->startGyroUpdatesToQueue(queue(), [](const GyroData&) {});
  EXPECT_FALSE(sensors().motionManager()->isGyroActive());

  sensors().setHasAltimeter(false);
  EXPECT_EQ(platform().makeAltimeter(), nullptr);
}

TEST_F(SimulatedMotionSensorsTest, TheClassifierReportsTheCurrentActivityThenEachChange) {
  sensors().setActivityScript(MotionActivityScript::activity(10.0, {.stationary = true})
                                  .then(MotionActivityScript::activity(5.0, {.walking = true}))
                                  .then(MotionActivityScript::activity(5.0, {.walking = true}))
                                  .then(MotionActivityScript::activity(5.0, {.automotive = true})));
  advanceBy(4.0);
  const auto classifier = platform().makeMotionActivityManager();
  std::vector<std::pair<MotionActivity, double>> updates;
  const double start = uptime();
  classifier->startActivityUpdatesToQueue(queue(), [&](const MotionActivity& activity) {
    updates.emplace_back(activity, uptime() - start);
  });
  advanceBy(30.0);

  // A repeated activity is a new update of its own; after the script, nothing more.
  const std::vector<std::pair<MotionActivity, double>> expected = {{{.stationary = true}, 0.0},
                                                                   {{.walking = true}, 6.0},
                                                                   {{.walking = true}, 11.0},
                                                                   {{.automotive = true}, 16.0}};
  EXPECT_EQ(updates, expected);

  classifier->stopActivityUpdates();
  EXPECT_FALSE(sensors().motionActivityManager()->deliverActivity({}));
}

}  // namespace
}  // namespace trevalo::platform
