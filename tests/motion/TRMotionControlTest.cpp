#include "motion/TRMotionControl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "support/PlatformTest.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/linux/SystemPlatform.h"
#include "trevalo/platform/simulated/SimulatedMotionSensors.h"
#include "vell/ExtraLocationInfoCollector.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using platform::AltitudeScript;
using platform::MotionScript;

// Collects results from whichever thread calls; they are orderly while each one reached the
// analyzer and then the facade, both on the run loop.
class RecordingDelegate : public TRMotionControlDelegate {
 public:
  void processActivityChange(TRActivityMode mode) override { record(mode, true); }
  void optionalWillChangeActivityMode(TRActivityMode mode) override { record(mode, false); }

  std::vector<TRActivityMode> results() const {
    const std::lock_guard lock(mutex_);
    return results_;
  }
  bool orderly() const {
    const std::lock_guard lock(mutex_);
    return orderly_;
  }

 private:
  void record(TRActivityMode mode, bool analyzerStep) {
    const std::lock_guard lock(mutex_);
    orderly_ = orderly_ && platform::Platform::current().runLoop().isCurrent() &&
               analyzerStep == !pending_ && (analyzerStep || *pending_ == mode);
    pending_ = analyzerStep ? std::optional(mode) : std::nullopt;
    if (!analyzerStep) results_.push_back(mode);
  }

  mutable std::mutex mutex_;
  std::vector<TRActivityMode> results_;
  std::optional<TRActivityMode> pending_;
  bool orderly_ = true;
};

class TRMotionControlTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    control_ = TRMotionControl::make(collector_);
    control_->setDelegate(delegate_);
  }

  platform::SimulatedMotionSensors& sensors() const { return platform().motionSensors(); }

  std::shared_ptr<ExtraLocationInfoCollector> collector_ =
      std::make_shared<ExtraLocationInfoCollector>();
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<TRMotionControl> control_;
};

TEST_F(TRMotionControlTest, AStopEndsEveryStreamAndDropsWhatWasQueuedBeforeIt) {
  sensors().setMotionScript(MotionScript::walking(60.0));
  sensors().setAltitudeScript(AltitudeScript::level(60.0));
  control_->startMotion();
  const auto manager = sensors().motionManager();

  // A full window handed in directly: queued on the sensor queue, not yet analysed.
  for (int i = 0; i <= 100; ++i)
    control_->handleNewAccelerationData({{0.0, 0.0, -1.0}, i / 20.0});
  // Samples from the sensor, queued on the sensor queue, not yet run.
  ASSERT_TRUE(manager->deliverAccelerometerData({{0.0, 0.0, -1.0}, 6.0}));
  ASSERT_TRUE(manager->deliverGyroData({{0.1, 0.0, 0.0}, 6.0}));

  control_->stopMotion();
  EXPECT_FALSE(manager->isAccelerometerActive() || manager->isGyroActive() ||
               sensors().altimeter()->isRelativeAltitudeActive());
  advanceBy(20.0);
  EXPECT_TRUE(delegate_->results().empty());
  EXPECT_EQ(collector_->getAccelArrayCopy().size(), 101U) << "handed in, so collected anyway";
  EXPECT_TRUE(collector_->getGyroArray().empty());
  EXPECT_TRUE(collector_->getAltitudeArray().empty());
}

TEST_F(TRMotionControlTest, AWindowClosesWhenItSpansFiveSecondsOrHolds120Samples) {
  struct Case {
    double spacing;  // seconds between samples
    int closingSample;
  };
  const auto still = MotionScript::still(10.0);
  for (const Case c : {Case{0.05, 101}, Case{0.01, 120}, Case{0.0, 120}}) {
    const std::size_t before = delegate_->results().size();
    control_->startMotion();
    for (int i = 1; i <= 2 * c.closingSample; ++i) {
      control_->handleNewAccelerationData({still.readingAt(0.0)->acceleration, i * c.spacing});
      runUntilIdle();
      const std::size_t expected = i / c.closingSample;
      ASSERT_EQ(delegate_->results().size() - before, expected)
          << "sample " << i << ", spacing " << c.spacing;
    }
    control_->stopMotion();
  }
  EXPECT_TRUE(delegate_->orderly());
}

// With motion off, or only the classifier on, samples handed in are collected for the next
// enriched location, and never analysed.
TEST_F(TRMotionControlTest, SamplesHandedInWithoutTheSensorsAreCollectedNotAnalysed) {
  const auto handInFiveSeconds = [&] {
    for (int i = 0; i <= 100; ++i) {
      control_->handleNewAccelerationData({{0.0, 0.0, -1.0}, i / 20.0});
      control_->handleNewGyroData({{0.1, 0.0, 0.0}, i / 20.0});
    }
    control_->handleNewAltitude({1.5, 5.0});
    runUntilIdle();
  };
  handInFiveSeconds();
  EXPECT_EQ(collector_->getAccelArrayCopy().size(), 101U);
  EXPECT_EQ(collector_->getGyroArray().size(), 101U);
  EXPECT_EQ(collector_->getAltitudeArray().size(), 1U);

  control_->setUseIOSMotionActivity(true);
  control_->startMotion();
  handInFiveSeconds();
  EXPECT_EQ(collector_->getAccelArrayCopy().size(), 202U);
  EXPECT_TRUE(delegate_->results().empty());

  // With the sensors on, the same samples make a result.
  control_->setUseIOSMotionActivity(false);
  control_->startMotion();
  handInFiveSeconds();
  EXPECT_EQ(delegate_->results(), std::vector<TRActivityMode>{TRActivityModeStationary});
}

// Samples handed in by a replay thread while the sensors stream: both reach the window on the
// sensor queue, one at a time (under AddressSanitizer or ThreadSanitizer a window changed on
// two threads shows at once).
TEST(TRMotionControlRealTimeTest, SamplesHandedInWhileTheSensorsStreamJoinThemOnTheSensorQueue) {
  testing::TemporaryDirectory directory;
  auto sensors = std::make_shared<std::shared_ptr<platform::SimulatedMotionSensors>>();
  const auto system = platform::SystemPlatform::make({
      .documentsDirectory = directory.path(),
      .motionManagerFactory = [sensors] { return (*sensors)->makeMotionManager(); },
  });
  *sensors = std::make_shared<platform::SimulatedMotionSensors>(system->services().runLoop);
  const auto previous = platform::Platform::install(system);
  const auto collector = std::make_shared<ExtraLocationInfoCollector>();
  auto control = TRMotionControl::make(collector);
  control->startMotion();
  const auto manager = (*sensors)->motionManager();
  // Samples 10 s apart: nearly every one closes the window, which is then made anew, so two
  // threads at it would soon write where the other has just freed.
  constexpr int kEach = 1200;
  std::thread stream([&] {
    for (int i = 0; i < kEach; ++i)
      manager->deliverAccelerometerData({{0.0, 0.0, -1.0}, i * 10.0});
  });
  for (int i = 0; i < kEach; ++i)
    control->handleNewAccelerationData({{0.0, 0.0, -1.0}, i * 10.0 + 5.0});
  stream.join();
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (collector->getAccelArrayCopy().size() < 2 * kEach &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(collector->getAccelArrayCopy().size(), std::size_t{2 * kEach});
  control->stopMotion();
  control.reset();
  platform::Platform::install(previous);
}

}  // namespace
}  // namespace trevalo
