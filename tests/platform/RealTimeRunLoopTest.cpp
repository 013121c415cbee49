#include "trevalo/platform/RealTimeRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

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

}  // namespace
}  // namespace trevalo::platform
