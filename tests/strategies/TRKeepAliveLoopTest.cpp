#include "trevalo/strategies/TRKeepAliveLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/PlatformTest.h"

namespace trevalo {
namespace {

using platform::BackgroundTaskIdentifier;
using Log = std::vector<std::string>;

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
  std::vector<BackgroundTaskIdentifier> activeTasks() const {
    return platform().application().activeBackgroundTasks();
  }

  std::shared_ptr<CountingDelegate> delegate_ = std::make_shared<CountingDelegate>();
  std::shared_ptr<TRKeepAliveLoop> loop_;
};

TEST_F(TRKeepAliveLoopTest, EachTickTakesTheNewTaskBeforeEndingTheOldEvery17Seconds) {
  // While it is told of a tick, the delegate finds exactly the new task held.
  using Tick = std::pair<double, std::vector<BackgroundTaskIdentifier>>;
  std::vector<Tick> ticks;
  const Date start = now();
  delegate_->onTick = [&] {
    ticks.emplace_back(now().timeIntervalSinceDate(start), activeTasks());
  };

  loop_->start();
  EXPECT_EQ(taskLog(), (Log{"begin:1"}));
  advanceBy(2 * 17.0 + 10.0);
  loop_->start();  // restarts the count
  advanceBy(17.0);

  EXPECT_EQ(taskLog(), (Log{"begin:1", "begin:2", "end:1", "begin:3", "end:2", "begin:4", "end:3",
                            "begin:5", "end:4"}));
  EXPECT_EQ(ticks, (std::vector<Tick>{{0, {1}}, {17, {2}}, {34, {3}}, {44, {4}}, {61, {5}}}));
  EXPECT_EQ(loop_->taskId(), 5u);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);
}

TEST_F(TRKeepAliveLoopTest, StopEndsTheTaskOnceAndNoTickFollows) {
  loop_->start();
  advanceBy(17.0);
  loop_->stop();
  loop_->stop();
  EXPECT_EQ(taskLog(), (Log{"begin:1", "begin:2", "end:1", "end:2"}));
  EXPECT_EQ(loop_->taskId(), platform::kInvalidBackgroundTask);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  advanceBy(600.0);
  EXPECT_EQ(delegate_->ticks, 2);

  // Started again, and stopped by its delegate during the next timed tick.
  delegate_->onTick = [&] {
    if (delegate_->ticks == 4) loop_->stop();
  };
  loop_->start();
  advanceBy(600.0);
  EXPECT_EQ(delegate_->ticks, 4);
  EXPECT_EQ(taskLog(),
            (Log{"begin:1", "begin:2", "end:1", "end:2", "begin:3", "begin:4", "end:3", "end:4"}));
  EXPECT_TRUE(activeTasks().empty());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
}

TEST_F(TRKeepAliveLoopTest, TheExpiryHandlerEndsOnlyItsOwnTaskAndTheNextTickEndsItAgain) {
  loop_->start();
  advanceBy(17.0);  // task 2 held, task 1 ended
  // The platform expires the held task from a thread of its own.
  std::thread([&] { EXPECT_TRUE(platform().application().expireBackgroundTask(2)); }).join();
  EXPECT_EQ(taskLog(), (Log{"begin:1", "begin:2", "end:1", "end:2"}));
  EXPECT_EQ(loop_->taskId(), 2u);

  advanceBy(17.0);
  EXPECT_EQ(taskLog(), (Log{"begin:1", "begin:2", "end:1", "end:2", "begin:3", "end:2"}));
  EXPECT_EQ(activeTasks(), (std::vector<BackgroundTaskIdentifier>{3}));
}

TEST_F(TRKeepAliveLoopTest, ExpiriesOnAnotherThreadWhileTheLoopTicks) {
  loop_->start();
  std::atomic<bool> ticking = true;
  std::thread expirer([&] {
    while (ticking.load()) {
      for (const auto task : activeTasks())
        platform().application().expireBackgroundTask(task);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 200; ++i)
    advanceBy(17.0);
  ticking = false;
  expirer.join();

  EXPECT_EQ(delegate_->ticks, 201);
  EXPECT_EQ(loop_->taskId(), 201u);
  loop_->stop();
  EXPECT_TRUE(activeTasks().empty());
}

TEST_F(TRKeepAliveLoopTest, CallsFromAnotherThreadWaitForTheRunLoopAndFindNobodyOnceItIsGone) {
  std::thread([&] {
    loop_->start();
    loop_->stop();
  }).join();
  EXPECT_TRUE(taskLog().empty());
  runUntilIdle();
  EXPECT_EQ(taskLog(), (Log{"begin:1", "end:1"}));
  EXPECT_EQ(delegate_->ticks, 1);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);

  // A loop that is gone ends the task it holds and cancels its timer.
  loop_->start();
  std::thread([&] { loop_->processLoop(); }).join();  // posted, still pending
  loop_.reset();
  EXPECT_TRUE(activeTasks().empty());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  advanceBy(600.0);
  EXPECT_EQ(delegate_->ticks, 2);
  EXPECT_EQ(taskLog().back(), "end:2");
}

}  // namespace
}  // namespace trevalo
