#include "trevalo/platform/RealTimeRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <thread>

#include "trevalo/platform/Exception.h"
#include "trevalo/platform/linux/SystemClock.h"

namespace trevalo::platform {
namespace {

TEST(RealTimeRunLoopTest, TaskPostedFromAnotherThreadRunsOnTheLoopsOwnThread) {
  auto loop = std::make_shared<RealTimeRunLoop>(std::make_shared<SystemClock>());
  EXPECT_TRUE(loop->isCurrent()) << "the creating thread owns a loop that nobody runs yet";
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

TEST(RealTimeRunLoopTest, TimersFireInOrderAndAStopFromAnotherThreadWakesTheIdleLoop) {
  RealTimeRunLoop loop(std::make_shared<SystemClock>());
  std::vector<int> order;
  std::atomic<bool> idle{false};
  const auto never = loop.scheduleTimer(3600.0, false, [] {});
  const auto second = loop.scheduleTimer(0.04, false, [&] {
    order.push_back(2);
    idle = true;
  });
  const auto first = loop.scheduleTimer(0.01, false, [&] { order.push_back(1); });
  std::thread stopper([&] {
    while (!idle)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the loop fall asleep
    loop.stop();
  });
  loop.run();
  stopper.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_TRUE(never->isValid());
}

// A clock ten times fast: its timers come ten times sooner in real time, and its wall time
// and uptime run together.
TEST(RealTimeRunLoopTest, AFastClockBringsItsTimersSooner) {
  EXPECT_THROW(SystemClock{0.0}, Exception);
  EXPECT_THROW(SystemClock{std::numeric_limits<double>::infinity()}, Exception);
  const auto clock = std::make_shared<SystemClock>(10.0);
  RealTimeRunLoop loop(clock);
  const double uptime = clock->systemUptime();
  const Date date = clock->now();
  bool fired = false;
  const auto timer = loop.scheduleTimer(20.0, false, [&] { fired = true; });
  const auto realStart = std::chrono::steady_clock::now();
  loop.runFor(25.0);
  const auto realTaken = std::chrono::steady_clock::now() - realStart;
  EXPECT_TRUE(fired);
  const double passed = clock->systemUptime() - uptime;
  EXPECT_GE(passed, 25.0);
  EXPECT_NEAR(clock->now().timeIntervalSinceDate(date), passed, 0.5);
  // At the real clock's pace the run would have taken 25 s.
  EXPECT_LT(realTaken, std::chrono::seconds(15));
}

}  // namespace
}  // namespace trevalo::platform
