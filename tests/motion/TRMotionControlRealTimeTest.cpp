#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "support/TemporaryDirectory.h"
#include "trevalo/motion/TRMotionControl.h"
#include "trevalo/platform/SimulatedMotionSensors.h"
#include "trevalo/platform/SystemPlatform.h"
#include "trevalo/vell/ExtraLocationInfoCollector.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using platform::MotionActivity;
using platform::MotionScript;

// Collects results from whichever thread calls, noting whether each came on the run loop.
class WaitingDelegate : public TRMotionControlDelegate {
 public:
  void processActivityChange(TRActivityMode mode) override { record(mode, true); }
  void optionalWillChangeActivityMode(TRActivityMode mode) override { record(mode, false); }

  bool waitForResults(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return results_.size() >= count; });
  }
  std::vector<TRActivityMode> results() const {
    const std::lock_guard lock(mutex_);
    return results_;
  }
  bool orderlyOnRunLoop() const {
    const std::lock_guard lock(mutex_);
    return orderly_;
  }

 private:
  void record(TRActivityMode mode, bool analyzerStep) {
    const bool onRunLoop = platform::Platform::current().runLoop().isCurrent();
    {
      const std::lock_guard lock(mutex_);
      orderly_ = orderly_ && onRunLoop && analyzerStep == !pendingFacadeStep_;
      pendingFacadeStep_ = analyzerStep;
      if (!analyzerStep) results_.push_back(mode);
    }
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TRActivityMode> results_;
  bool pendingFacadeStep_ = false;
  bool orderly_ = true;
};

// The system platform (real run loop thread, thread pools behind the operation queues) with
// simulated sensors, which the tests feed from a thread of their own.
class TRMotionControlRealTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto slot = sensorsSlot_;
    platform_ = platform::SystemPlatform::make({
        .documentsDirectory = directory_.path(),
        .motionManagerFactory = [slot] { return (*slot)->makeMotionManager(); },
        .altimeterFactory = [slot] { return (*slot)->makeAltimeter(); },
        .motionActivityManagerFactory = [slot] { return (*slot)->makeMotionActivityManager(); },
    });
    *sensorsSlot_ =
        std::make_shared<platform::SimulatedMotionSensors>(platform_->services().runLoop);
    previous_ = platform::Platform::install(platform_);
    drainRunLoop();
    control_ = TRMotionControl::make(collector_);
    control_->setDelegate(delegate_);
  }

  void TearDown() override {
    control_.reset();
    platform::Platform::install(previous_);
    platform_.reset();
  }

  platform::SimulatedMotionSensors& sensors() const { return **sensorsSlot_; }

  // Waits until the run loop has run everything posted so far.
  void drainRunLoop() const {
    auto drained = std::make_shared<std::promise<void>>();
    auto done = drained->get_future();
    platform_->runLoop().post([drained] { drained->set_value(); });
    ASSERT_EQ(done.wait_for(20s), std::future_status::ready);
  }

  // Hands `windows` five-second windows of a walk (and a few samples more, against rounding at
  // the window's end) to the current sensors, from another thread, as fast as it can.
  void feedWalk(int windows, double from) const {
    const auto manager = sensors().motionManager();
    const auto script = MotionScript::walking(1000.0);
    std::thread feeder([&] {
      for (int i = 0; i < windows * 101 + 5; ++i) {
        const double t = from + i / 20.0;
        const auto reading = script.readingAt(t).value();
        manager->deliverAccelerometerData({reading.acceleration, t});
        manager->deliverGyroData({reading.rotationRate, t});
      }
    });
    feeder.join();
  }

  testing::TemporaryDirectory directory_;
  std::shared_ptr<std::shared_ptr<platform::SimulatedMotionSensors>> sensorsSlot_ =
      std::make_shared<std::shared_ptr<platform::SimulatedMotionSensors>>();
  std::shared_ptr<platform::SystemPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
  std::shared_ptr<ExtraLocationInfoCollector> collector_ =
      std::make_shared<ExtraLocationInfoCollector>();
  std::shared_ptr<WaitingDelegate> delegate_ = std::make_shared<WaitingDelegate>();
  std::shared_ptr<TRMotionControl> control_;
};

TEST_F(TRMotionControlRealTimeTest, ResultsFromTheSensorQueueReachTheDelegateOnTheRunLoop) {
  control_->startMotion();
  feedWalk(3, 0.0);
  ASSERT_TRUE(delegate_->waitForResults(3));
  EXPECT_EQ(delegate_->results(), std::vector<TRActivityMode>(3, TRActivityModeWalking));
  EXPECT_TRUE(delegate_->orderlyOnRunLoop());
  // The gyroscope sample queued before the last accelerometer one has been collected.
  EXPECT_GE(collector_->getGyroArray().size(), 302U);

  // A stop while samples are still queued: none of them, nor a result, comes afterwards.
  feedWalk(2, 100.0);
  std::thread([&] { control_->stopMotion(); }).join();
  // A sample being handled at the moment of the stop may still finish.
  std::this_thread::sleep_for(50ms);
  drainRunLoop();
  const auto collected = collector_->getAccelArrayCopy().size();
  const auto reported = delegate_->results().size();
  std::this_thread::sleep_for(100ms);
  drainRunLoop();
  EXPECT_EQ(collector_->getAccelArrayCopy().size(), collected);
  EXPECT_EQ(delegate_->results().size(), reported);

  // A new run on fresh sensors carries on, without anything of the old one.
  control_->startMotion();
  feedWalk(1, 200.0);
  ASSERT_TRUE(delegate_->waitForResults(reported + 1));
  drainRunLoop();
  EXPECT_EQ(delegate_->results().size(), reported + 1);
  EXPECT_TRUE(delegate_->orderlyOnRunLoop());
}

TEST_F(TRMotionControlRealTimeTest, ScriptedSensorsStreamOnRealTimers) {
  sensors().setMotionScript(MotionScript::still(60.0));
  control_->startMotion();
  std::this_thread::sleep_for(500ms);
  control_->stopMotion();
  // About ten samples of each kind in half a second; the exact count depends on the machine.
  EXPECT_GE(collector_->getAccelArrayCopy().size(), 3U);
  EXPECT_GE(collector_->getGyroArray().size(), 3U);
}

TEST_F(TRMotionControlRealTimeTest, ClassifierUpdatesArriveOnTheRunLoopInOrder) {
  control_->setUseIOSMotionActivity(true);
  control_->startMotion();
  const auto classifier = sensors().motionActivityManager();
  std::vector<TRActivityMode> expected;
  std::thread feeder([&] {
    for (int i = 0; i < 50; ++i) {
      const MotionActivity activity =
          i % 2 == 0 ? MotionActivity{.walking = true} : MotionActivity{.automotive = true};
      classifier->deliverActivity(activity);
      expected.push_back(TRMotionControl::getActivityModeByMotionActivty(activity));
    }
  });
  feeder.join();
  ASSERT_TRUE(delegate_->waitForResults(50));
  EXPECT_EQ(delegate_->results(), expected);
  EXPECT_TRUE(delegate_->orderlyOnRunLoop());
  control_->stopMotion();
}

}  // namespace
}  // namespace trevalo
