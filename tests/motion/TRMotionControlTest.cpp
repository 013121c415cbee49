#include "trevalo/motion/TRMotionControl.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/utils/TRLogger.h"
#include "trevalo/vell/ExtraLocationInfoCollector.h"

namespace trevalo {
namespace {

using platform::AltitudeScript;
using platform::MotionActivityScript;
using platform::MotionScript;

// Records each call with the virtual time and whether it came on the run loop.
class RecordingDelegate : public TRMotionControlDelegate {
 public:
  struct Call {
    std::string step;
    TRActivityMode mode;
    double at;
    bool onRunLoop;
  };

  void processActivityChange(TRActivityMode mode) override { record("analyzer", mode); }
  void optionalWillChangeActivityMode(TRActivityMode mode) override { record("facade", mode); }

  // The results, each checked to have reached the analyzer and then the facade, on the loop.
  std::vector<TRActivityMode> results() const {
    std::vector<TRActivityMode> modes;
    EXPECT_EQ(calls.size() % 2, 0U);
    for (std::size_t i = 0; i + 1 < calls.size(); i += 2) {
      EXPECT_EQ(calls[i].step, "analyzer");
      EXPECT_EQ(calls[i + 1].step, "facade");
      EXPECT_EQ(calls[i].mode, calls[i + 1].mode);
      EXPECT_TRUE(calls[i].onRunLoop && calls[i + 1].onRunLoop);
      modes.push_back(calls[i].mode);
    }
    return modes;
  }
  std::vector<double> resultTimes() const {
    std::vector<double> times;
    for (std::size_t i = 0; i < calls.size(); i += 2)
      times.push_back(calls[i].at);
    return times;
  }

  std::vector<Call> calls;

 private:
  void record(const char* step, TRActivityMode mode) {
    const auto& platform = platform::Platform::current();
    calls.push_back({step, mode, platform.clock().now().timeIntervalSince1970(),
                     platform.runLoop().isCurrent()});
  }
};

class TRMotionControlTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    control_ = TRMotionControl::make(collector_);
    control_->setDelegate(delegate_);
    start_ = now().timeIntervalSince1970();
  }

  void TearDown() override {
    control_.reset();
    PlatformTest::TearDown();
  }

  platform::SimulatedMotionSensors& sensors() const { return platform().motionSensors(); }
  std::vector<TRActivityMode> results() const { return delegate_->results(); }
  double sinceStart(double time) const { return time - start_; }

  std::shared_ptr<ExtraLocationInfoCollector> collector_ =
      std::make_shared<ExtraLocationInfoCollector>();
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<TRMotionControl> control_;
  double start_ = 0.0;
};

TEST_F(TRMotionControlTest, AWalkReportsWalkingEveryFiveSecondsAndFillsTheCollector) {
  sensors().setMotionScript(MotionScript::walking(60.0));
  sensors().setAltitudeScript(AltitudeScript::climbing(60.0, 0.2));
  control_->startMotion();
  advanceBy(31.0);

  // Each window spans 5.0 s, 101 samples (102 when rounding puts the 101st a hair short), and
  // the next begins with the sample after.
  EXPECT_EQ(results(), std::vector<TRActivityMode>(6, TRActivityModeWalking));
  const auto times = delegate_->resultTimes();
  ASSERT_FALSE(times.empty());
  EXPECT_NEAR(sinceStart(times.front()), 5.075, 0.026);
  for (std::size_t i = 1; i < times.size(); ++i) {
    EXPECT_NEAR(times[i] - times[i - 1], 5.075, 0.026);
  }

  // 20 samples a second from both motion sensors, one a second from the altimeter.
  EXPECT_NEAR(static_cast<double>(collector_->getAccelArrayCopy().size()), 620.0, 1.0);
  EXPECT_NEAR(static_cast<double>(collector_->getGyroArray().size()), 620.0, 1.0);
  const auto altitudes = collector_->getAltitudeArray();
  ASSERT_EQ(altitudes.size(), 31U);
  EXPECT_EQ(altitudes.front().relativeAltitude, 0.0);
  EXPECT_NEAR(altitudes.back().relativeAltitude, 30 * 0.2, 1e-6);
}

TEST_F(TRMotionControlTest, AStopEndsEveryStreamAndDropsWhatWasQueuedBeforeIt) {
  sensors().setMotionScript(MotionScript::walking(60.0));
  sensors().setAltitudeScript(AltitudeScript::level(60.0));
  control_->startMotion();
  const auto manager = sensors().motionManager();

  // A full window handed in directly: its result is posted to the run loop, not yet run.
  for (int i = 0; i <= 100; ++i)
    control_->handleNewAccelerationData({{0.0, 0.0, -1.0}, i / 20.0});
  // Samples from the sensor, queued on the sensor queue, not yet run.
  ASSERT_TRUE(manager->deliverAccelerometerData({{0.0, 0.0, -1.0}, 6.0}));
  ASSERT_TRUE(manager->deliverGyroData({{0.1, 0.0, 0.0}, 6.0}));

  control_->stopMotion();
  EXPECT_FALSE(control_->isMotionOn());
  EXPECT_FALSE(manager->isAccelerometerActive());
  EXPECT_FALSE(manager->isGyroActive());
  EXPECT_FALSE(sensors().altimeter()->isRelativeAltitudeActive());
  advanceBy(20.0);
  EXPECT_TRUE(delegate_->calls.empty());
  EXPECT_EQ(collector_->getAccelArrayCopy().size(), 101U);
  EXPECT_TRUE(collector_->getGyroArray().empty());
  EXPECT_TRUE(collector_->getAltitudeArray().empty());

  // Handed in while motion is off, nothing is taken.
  control_->handleNewAccelerationData({{0.0, 0.0, -1.0}, 7.0});
  EXPECT_EQ(collector_->getAccelArrayCopy().size(), 101U);
}

TEST_F(TRMotionControlTest, AWindowClosesWhenItSpansFiveSecondsOrHolds120Samples) {
  struct Case {
    double spacing;  // seconds between samples
    int closingSample;
  };
  const auto still = MotionScript::still(10.0);
  for (const Case c : {Case{0.05, 101}, Case{0.01, 120}, Case{0.0, 120}}) {
    delegate_->calls.clear();
    control_->startMotion();
    for (int i = 1; i <= 2 * c.closingSample; ++i) {
      control_->handleNewAccelerationData({still.readingAt(0.0)->acceleration, i * c.spacing});
      runUntilIdle();
      const std::size_t expected = i / c.closingSample;
      ASSERT_EQ(results().size(), expected) << "sample " << i << ", spacing " << c.spacing;
    }
    control_->stopMotion();
  }
}

TEST_F(TRMotionControlTest, EveryStartBeginsAFreshRunWithAnEmptyWindowAndNewSensors) {
  sensors().setMotionScript(MotionScript::walking(60.0));
  control_->startMotion();
  advanceBy(3.0);  // the window is more than half full
  const auto first = sensors().motionManager();
  control_->stopMotion();
  control_->startMotion();
  const auto second = sensors().motionManager();
  control_->startMotion();  // while running
  EXPECT_EQ(sensors().motionManagersMade(), 3U);
  EXPECT_FALSE(first->isAccelerometerActive());
  EXPECT_FALSE(second->isAccelerometerActive());
  EXPECT_TRUE(sensors().motionManager()->isAccelerometerActive());

  // Samples left from the first run would close a window within 2 s, two runs streaming into
  // one window within 2.5 s.
  advanceBy(4.9);
  EXPECT_TRUE(delegate_->calls.empty());
  advanceBy(0.3);
  EXPECT_EQ(results(), std::vector<TRActivityMode>{TRActivityModeWalking});
}

TEST_F(TRMotionControlTest, StartsWhatTheDeviceOffers) {
  struct Case {
    bool gyro;
    bool hasAltimeter;
    bool relativeAltitude;
  };
  for (const Case c : {Case{true, true, true}, Case{false, true, true}, Case{true, false, true},
                       Case{true, true, false}}) {
    SCOPED_TRACE(::testing::Message() << "gyro " << c.gyro << ", altimeter " << c.hasAltimeter
                                      << ", relative altitude " << c.relativeAltitude);
    sensors().setGyroAvailable(c.gyro);
    sensors().setHasAltimeter(c.hasAltimeter);
    sensors().setRelativeAltitudeAvailable(c.relativeAltitude);
    control_->startMotion();
    const auto manager = sensors().motionManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(manager->isAccelerometerActive());
    EXPECT_EQ(manager->isGyroActive(), c.gyro);
    EXPECT_EQ(control_->altimeter() != nullptr, c.hasAltimeter);
    // Without an altimeter this run, the one left from the run before must have stopped.
    const auto altimeter = sensors().altimeter();
    EXPECT_EQ(altimeter && altimeter->isRelativeAltitudeActive(),
              c.hasAltimeter && c.relativeAltitude);
  }
}

TEST_F(TRMotionControlTest, TheClassifierOptionReportsEachClassifierUpdateInOrder) {
  std::vector<std::string> logged;
  TRLogger::instance()->setSink(
      [&](std::string_view message, std::string_view, double) { logged.emplace_back(message); });

  sensors().setActivityScript(
      MotionActivityScript::activity(10.0, {.stationary = true})
          .then(MotionActivityScript::activity(10.0, {.walking = true}))
          .then(MotionActivityScript::activity(10.0, {.stationary = true, .automotive = true}))
          .then(MotionActivityScript::activity(10.0, {.automotive = true})));
  sensors().setMotionScript(MotionScript::walking(60.0));
  control_->setUseIOSMotionActivity(true);
  control_->startMotion();
  advanceBy(25.0);

  EXPECT_EQ(results(), (std::vector<TRActivityMode>{TRActivityModeStationary, TRActivityModeWalking,
                                                    TRActivityModeAutomotive}));
  EXPECT_NEAR(sinceStart(delegate_->resultTimes().back()), 20.0, 1e-6);
  EXPECT_EQ(sensors().motionManagersMade(), 0U);
  EXPECT_TRUE(collector_->getAccelArrayCopy().empty());
  EXPECT_TRUE(logged.empty());

  control_->stopMotion();
  EXPECT_FALSE(sensors().motionActivityManager()->isActivityActive());
  advanceBy(20.0);
  EXPECT_EQ(results().size(), 3U);

  // Without the option, the accelerometer is back, and says so.
  control_->setUseIOSMotionActivity(false);
  control_->startMotion();
  EXPECT_EQ(sensors().motionManagersMade(), 1U);
  EXPECT_EQ(logged, std::vector<std::string>{"accel is on"});
  TRLogger::instance()->setSink(nullptr);
}

TEST_F(TRMotionControlTest, ADelegateThatIsGoneIsNotCalled) {
  sensors().setMotionScript(MotionScript::walking(60.0));
  control_->startMotion();
  delegate_.reset();
  advanceBy(6.0);
  EXPECT_EQ(collector_->getAccelArrayCopy().size(), 120U);
}

}  // namespace
}  // namespace trevalo
