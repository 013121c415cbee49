#include "strategies/TRKeepAliveLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/PlatformTest.h"
#include "support/VirtualTime.h"

namespace trevalo {
namespace {

using Log = std::vector<std::string>;
using Tasks = std::vector<platform::BackgroundTaskIdentifier>;

class CountingDelegate : public TRKeepAliveLoopDelegate {
 public:
  void newLoopProcessed() override {
    ++ticks;
    if (onTick) onTick();
  }
  int ticks = 0;
  std::function<void()> onTick;
};

class TRKeepAliveLoopTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    loop_ = TRKeepAliveLoop::make();
    loop_->setDelegate(delegate_);
  }
  void TearDown() override {
    loop_.reset();
    PlatformTest::TearDown();
  }

  Log taskLog() const { return platform().application().backgroundTaskLog(); }
  Tasks activeTasks() const { return platform().application().activeBackgroundTasks(); }

  std::shared_ptr<CountingDelegate> delegate_ = std::make_shared<CountingDelegate>();
  std::shared_ptr<TRKeepAliveLoop> loop_;
};

TEST_F(TRKeepAliveLoopTest, EachTickTakesTheNewTaskBeforeEndingTheOldAndAStopEndsItOnce) {
  // While it is told of a tick, the delegate finds exactly the new task held.
  std::vector<std::pair<double, Tasks>> ticks;
  const Date start = now();
  delegate_->onTick = [&] {
    ticks.emplace_back(now().timeIntervalSinceDate(start), activeTasks());
  };
  loop_->start();
  advanceBy(17.0 + 10.0);
  loop_->start();  // restarts the count
  advanceBy(17.0);
  loop_->stop();
  loop_->stop();
  advanceBy(600.0);

  EXPECT_EQ(taskLog(),
            (Log{"begin:1", "begin:2", "end:1", "begin:3", "end:2", "begin:4", "end:3", "end:4"}));
  EXPECT_EQ(ticks,
            (std::vector<std::pair<double, Tasks>>{{0, {1}}, {17, {2}}, {27, {3}}, {44, {4}}}));
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);

  // Started again, and stopped by its delegate during the next timed tick.
  delegate_->onTick = [&] {
    if (delegate_->ticks == 6) loop_->stop();
  };
  loop_->start();
  ASSERT_TRUE(testing::runUntilWithin(
      runLoop(), 17.0, [&] { return delegate_->ticks == 6; }, "the timed tick 17 s later"));
  advanceBy(600.0);
  EXPECT_EQ(delegate_->ticks, 6);
  EXPECT_TRUE(activeTasks().empty());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
}

TEST_F(TRKeepAliveLoopTest, CallsFromOtherThreadsAreSafeAndFindNobodyOnceTheLoopIsGone) {
  std::thread([&] {
    loop_->start();
    loop_->stop();
  }).join();
  EXPECT_TRUE(taskLog().empty());  // they wait for the run loop
  runUntilIdle();
  EXPECT_EQ(taskLog(), (Log{"begin:1", "end:1"}));

  // The platform expires a task from a thread of its own; its handler ends only that task.
  loop_->start();
  advanceBy(17.0);  // task 3 held, task 2 ended
  std::thread([&] { EXPECT_TRUE(platform().application().expireBackgroundTask(3)); }).join();
  advanceBy(17.0);
  EXPECT_EQ(taskLog(),
            (Log{"begin:1", "end:1", "begin:2", "begin:3", "end:2", "end:3", "begin:4", "end:3"}));

  // A loop that is gone ends the task it holds and cancels its timer.
  std::thread([&] { loop_->processLoop(); }).join();  // posted, still pending
  loop_.reset();
  EXPECT_TRUE(activeTasks().empty());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  advanceBy(600.0);
  EXPECT_EQ(delegate_->ticks, 4);
}

}  // namespace
}  // namespace trevalo
