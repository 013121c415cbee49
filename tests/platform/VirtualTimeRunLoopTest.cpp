#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Timer.h"

namespace trevalo::platform {
namespace {

class VirtualTimeRunLoopTest : public testing::PlatformTest {
 protected:
  // The virtual time of a recorded event, in seconds since the test began.
  double elapsed() const { return now().timeIntervalSinceDate(start_); }

  Date start_ = Date(1767225600.0);
  std::vector<std::string> log_;
};

// Ties fire in the order they were scheduled; a repeating timer keeps its period until it
// invalidates itself; time never moves backwards.
TEST_F(VirtualTimeRunLoopTest, TimersFireInDueOrderAtTheirDueTimes) {
  std::vector<std::pair<std::string, double>> fired;
  auto& loop = runLoop();
  const auto late = loop.scheduleTimer(30.0, false, [&] { fired.emplace_back("late", elapsed()); });
  const auto early =
      loop.scheduleTimer(10.0, false, [&] { fired.emplace_back("early", elapsed()); });
  const auto tie = loop.scheduleTimer(10.0, false, [&] { fired.emplace_back("tie", elapsed()); });
  std::shared_ptr<Timer> repeating;
  repeating = loop.scheduleTimer(17.0, true, [&] {
    fired.emplace_back("repeating", elapsed());
    if (fired.size() == 6) repeating->invalidate();
  });

  advanceBy(25.0);
  EXPECT_EQ(fired.size(), 3u);
  EXPECT_DOUBLE_EQ(elapsed(), 25.0);
  advanceBy(175.0);
  using Fired = std::vector<std::pair<std::string, double>>;
  EXPECT_EQ(fired, (Fired{{"early", 10.0},
                          {"tie", 10.0},
                          {"repeating", 17.0},
                          {"late", 30.0},
                          {"repeating", 34.0},
                          {"repeating", 51.0}}));
  EXPECT_FALSE(repeating->isValid());
  EXPECT_THROW(runLoop().advanceTo(Date(0.0)), Exception);
  EXPECT_THROW(platform().virtualClock().advanceBy(-1.0), Exception);
}

TEST_F(VirtualTimeRunLoopTest, FiredOrInvalidatedOneShotTimersLeaveTheScheduleAndTheirCaptures) {
  auto token = std::make_shared<int>(7);
  const std::weak_ptr<int> watch = token;
  bool validInside = true;
  std::shared_ptr<Timer> timer;
  timer = runLoop().scheduleTimer(
      5.0, false, [&validInside, &timer, token] { validInside = timer->isValid(); });
  token.reset();

  EXPECT_FALSE(watch.expired());
  advanceBy(5.0);
  EXPECT_FALSE(validInside);
  EXPECT_FALSE(timer->isValid());
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);

  int fired = 0;
  const auto never = runLoop().scheduleTimer(1.7976931348623157e308, false, [&] { ++fired; });
  never->invalidate();
  never->invalidate();  // twice is harmless
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  advanceBy(3600.0);
  EXPECT_EQ(fired, 0);
}

TEST_F(VirtualTimeRunLoopTest, PostedTasksRunFirstAndTasksPostedByATimerRunAtItsTime) {
  runLoop().post([&] { log_.push_back("task@" + std::to_string(int(elapsed()))); });
  const auto timer = runLoop().scheduleTimer(0.0, false, [&] {
    log_.push_back("timer");
    runLoop().post([&] { log_.push_back("follow-up@" + std::to_string(int(elapsed()))); });
  });
  const auto later = runLoop().scheduleTimer(1.0, false, [&] { log_.push_back("later"); });
  runUntilIdle();
  EXPECT_EQ(log_, std::vector<std::string>{"task@0"});
  EXPECT_EQ(elapsed(), 0.0) << "running what is due does not move the clock";
  EXPECT_TRUE(runLoop().advanceToNextTimer());
  EXPECT_EQ(log_, (std::vector<std::string>{"task@0", "timer", "follow-up@0"}));
  advanceBy(2.0);
  EXPECT_EQ(log_.back(), "later");
  EXPECT_FALSE(runLoop().advanceToNextTimer());
}

TEST_F(VirtualTimeRunLoopTest, RunUntilPicksUpWorkPostedFromAnotherThread) {
  bool ran = false;
  std::thread worker([&] { runLoop().post([&] { ran = runLoop().isCurrent(); }); });
  EXPECT_TRUE(runLoop().runUntil([&] { return ran; }, std::chrono::seconds(10)));
  worker.join();
  EXPECT_FALSE(runLoop().runUntil([] { return false; }, std::chrono::milliseconds(10)));
}

}  // namespace
}  // namespace trevalo::platform
