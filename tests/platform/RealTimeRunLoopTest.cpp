#include "trevalo/platform/RealTimeRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "trevalo/platform/SystemClock.h"

namespace trevalo::platform {
namespace {

TEST(RealTimeRunLoopTest, TaskPostedFromAnotherThreadRunsOnTheLoopsThread) {
  auto loop = std::make_shared<RealTimeRunLoop>(std::make_shared<SystemClock>());
  loop->startThread();

  std::promise<std::pair<std::thread::id, bool>> ran;
  std::thread poster([&] {
    loop->post([&] { ran.set_value({std::this_thread::get_id(), loop->isCurrent()}); });
  });
  auto result = ran.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [thread, current] = result.get();
  poster.join();
  EXPECT_TRUE(current);
  EXPECT_NE(thread, std::this_thread::get_id());
  EXPECT_FALSE(loop->isCurrent());
}

TEST(RealTimeRunLoopTest, TheStartingThreadIsNoLongerCurrentOnceTheLoopsThreadStarted) {
  RealTimeRunLoop loop(std::make_shared<SystemClock>());
  EXPECT_TRUE(loop.isCurrent()) << "the creating thread owns a loop that nobody runs yet";
  loop.startThread();
  EXPECT_FALSE(loop.isCurrent());
}

TEST(RealTimeRunLoopTest, TimersFireInOrderAndStopEndsRun) {
  RealTimeRunLoop loop(std::make_shared<SystemClock>());
  std::vector<int> order;
  const auto second = loop.scheduleTimer(0.04, false, [&] {
    order.push_back(2);
    loop.stop();
  });
  const auto first = loop.scheduleTimer(0.01, false, [&] { order.push_back(1); });
  const auto start = std::chrono::steady_clock::now();
  loop.run();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(35));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(RealTimeRunLoopTest, StopFromAnotherThreadWakesAnIdleLoop) {
  RealTimeRunLoop loop(std::make_shared<SystemClock>());
  const auto never = loop.scheduleTimer(3600.0, false, [] {});
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.stop();
  });
  loop.run();
  stopper.join();
  EXPECT_TRUE(never->isValid());
}

TEST(RealTimeRunLoopTest, RepeatingTimerFiresUntilInvalidatedAndRunForReturns) {
  RealTimeRunLoop loop(std::make_shared<SystemClock>());
  int ticks = 0;
  std::shared_ptr<Timer> timer;
  timer = loop.scheduleTimer(0.005, true, [&] {
    if (++ticks == 3) timer->invalidate();
  });
  loop.runFor(60.0 / 1000.0);
  while (timer->isValid())
    loop.runFor(0.05);  // a loaded machine may need longer
  EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace trevalo::platform
