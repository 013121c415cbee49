// Activity told from the receiver's speed, on a machine without motion sensors: the verdicts
// and the stream that reports them. The system platform feeding it from gpsd is LiveRunTest's.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/SpeedActivityClassifier.h"
#include "platform/linux/SpeedActivityManager.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/OperationQueue.h"

namespace trevalo::platform {
namespace {

constexpr double kStart = 1'700'000'000.0;

// A fix `seconds` after kStart, `north` metres north of a fixed point.
Location fixAt(double seconds, double speed, double north = 0.0, double accuracy = 5.0) {
  return Location(Coordinate{52.0 + north / 111'320.0, 5.0}, 0.0, accuracy, -1.0, -1.0, speed,
                  Date(kStart + seconds));
}

const MotionActivity kStill{.stationary = true};
const MotionActivity kWalking{.walking = true};
const MotionActivity kDriving{.automotive = true};

TEST(SpeedActivityClassifierTest, TheMedianSpeedOfTheLastTenSecondsTellsStillWalkingOrDriving) {
  struct Row {
    const char* what;
    std::vector<Location> fixes;
    std::optional<MotionActivity> verdict;
  };
  const auto steady = [](double speed) {
    return std::vector{fixAt(0, speed), fixAt(1, speed), fixAt(2, speed)};
  };
  const std::vector<Row> rows = {
      {"two fixes tell nothing", {fixAt(0, 1.0), fixAt(1, 1.0)}, std::nullopt},
      {"at rest", steady(0.0), kStill},
      {"just below walking", steady(0.59), kStill},
      {"walking from its bound", steady(0.6), kWalking},
      {"just below driving", steady(3.49), kWalking},
      {"driving from its bound", steady(3.5), kDriving},
      {"one jumpy fix at rest", {fixAt(0, 0.0), fixAt(1, 9.0), fixAt(2, 0.0)}, kStill},
      {"speeds older than the window are forgotten",
       {fixAt(0, 9.0), fixAt(1, 9.0), fixAt(2, 9.0), fixAt(12, 1.0), fixAt(13, 1.0),
        fixAt(14, 1.0)},
       kWalking},
      {"a source that starts again starts the window afresh",
       {fixAt(10, 9.0), fixAt(11, 9.0), fixAt(12, 9.0), fixAt(0, 1.0), fixAt(1, 1.0)},
       std::nullopt},
      {"fixes without a place or an accuracy are not counted",
       {fixAt(0, 1.0), fixAt(1, 1.0),
        Location(Coordinate{999.0, 5.0}, 0, 5.0, -1, -1, 1.0, Date(kStart + 2)),
        fixAt(3, 1.0, 0.0, -1.0)},
       std::nullopt},
      // Without a reported speed, only the distance the accuracies cannot explain counts.
      {"wandering within the error circles",
       {fixAt(0, -1, 0.0, 20.0), fixAt(1, -1, 30.0, 20.0), fixAt(2, -1, 0.0, 20.0),
        fixAt(3, -1, 30.0, 20.0)},
       kStill},
      {"moving further than the errors explain",
       {fixAt(0, -1, 0.0), fixAt(1, -1, 30.0), fixAt(2, -1, 60.0), fixAt(3, -1, 90.0)},
       kDriving},
  };
  for (const auto& row : rows) {
    SpeedActivityClassifier classifier;
    std::optional<MotionActivity> verdict;
    for (const auto& fix : row.fixes)
      verdict = classifier.observe(fix);
    EXPECT_EQ(verdict, row.verdict) << row.what;
  }
}

// Runs every delivered operation at once.
class InlineExecutor final : public Executor {
 public:
  void execute(Task task) override { task(); }
};

class SpeedActivityManagerTest : public ::testing::Test {
 protected:
  void start() {
    manager_.startActivityUpdatesToQueue(
        std::make_shared<OperationQueue>(executor_),
        [this](const MotionActivity& activity) { reports_.push_back(activity); });
  }
  void observe(double from, double to, double speed) {
    for (double second = from; second <= to; ++second)
      manager_.observe({fixAt(second, speed)});
  }

  std::shared_ptr<InlineExecutor> executor_ = std::make_shared<InlineExecutor>();
  SpeedActivityManager manager_;
  std::vector<MotionActivity> reports_;
};

TEST_F(SpeedActivityManagerTest, WithoutASourceItIsUnavailableAndReportsNothing) {
  EXPECT_FALSE(manager_.isActivityAvailable());
  start();
  observe(0, 10, 1.0);
  EXPECT_TRUE(reports_.empty());
  EXPECT_THROW(manager_.startActivityUpdatesToQueue(nullptr, [](const MotionActivity&) {}),
               Exception);
}

TEST_F(SpeedActivityManagerTest, ChangesAreReportedAtOnceAndAVerdictThatHoldsEveryFiveSeconds) {
  manager_.setAvailable(true);
  ASSERT_TRUE(manager_.isActivityAvailable());
  start();
  observe(0, 1, 1.0);
  EXPECT_TRUE(reports_.empty());
  // The first verdict with the third fix; the same again five seconds of fixes later, not
  // before.
  observe(2, 6, 1.0);
  EXPECT_EQ(reports_, std::vector{kWalking});
  observe(7, 7, 1.0);
  EXPECT_EQ(reports_, (std::vector{kWalking, kWalking}));
  // A change comes with the fix that makes the median of the window cross the bound: the
  // fifth fast one of ten.
  observe(8, 11, 8.0);
  EXPECT_EQ(reports_, (std::vector{kWalking, kWalking}));
  observe(12, 12, 8.0);
  EXPECT_EQ(reports_, (std::vector{kWalking, kWalking, kDriving}));

  // Stopped, nothing is reported; started again, the verdict comes with the next fix even
  // though it did not change.
  manager_.stopActivityUpdates();
  observe(13, 30, 8.0);
  EXPECT_EQ(reports_.size(), 3u);
  start();
  observe(31, 31, 8.0);
  EXPECT_EQ(reports_, (std::vector{kWalking, kWalking, kDriving, kDriving}));
}

}  // namespace
}  // namespace trevalo::platform
