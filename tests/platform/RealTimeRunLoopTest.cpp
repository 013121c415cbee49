#include "trevalo/platform/RealTimeRunLoop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
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

// A pipe whose end is watched: what the handler reads, and on which thread, seen from the test.
class WatchedPipe {
 public:
  WatchedPipe() {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    read_ = ends[0];
    write_ = ends[1];
  }
  ~WatchedPipe() {
    ::close(read_);
    ::close(write_);
  }
  int readEnd() const { return read_; }
  void write(const std::string& bytes) const {
    ASSERT_EQ(::write(write_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // A handler that takes what is there and ends its watch when what it read held a '.'.
  RealTimeRunLoop::ReadableHandler handler(const RealTimeRunLoop& loop) {
    return [this, &loop] {
      char bytes[64];
      const auto length = ::read(read_, bytes, sizeof bytes);
      const std::string_view read(bytes, length > 0 ? static_cast<std::size_t>(length) : 0);
      const std::lock_guard lock(mutex_);
      received_.append(read);
      onLoopThread_ = onLoopThread_ && loop.isCurrent();
      return read.find('.') == std::string_view::npos;
    };
  }
  std::string received() const {
    const std::lock_guard lock(mutex_);
    return received_;
  }
  bool onLoopThread() const {
    const std::lock_guard lock(mutex_);
    return onLoopThread_;
  }
  // Waits (10 s at most) until `what` has been received.
  bool awaitReceived(const std::string& what) const {
    for (int i = 0; i < 2000 && received() != what; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return received() == what;
  }

 private:
  int read_ = -1;
  int write_ = -1;
  mutable std::mutex mutex_;
  std::string received_;
  bool onLoopThread_ = true;
};

// Runs one task through the loop and waits for it: every wait the loop began before is over.
void roundTrip(RealTimeRunLoop& loop) {
  std::promise<void> done;
  loop.post([&] { done.set_value(); });
  ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(RealTimeRunLoopTest, AWatchedDescriptorIsReadOnTheLoopsThreadUntilItsWatchEnds) {
  RealTimeRunLoop loop(std::make_shared<SystemClock>());
  loop.startThread();
  WatchedPipe pipe;
  auto watch = loop.watchReadable(pipe.readEnd(), pipe.handler(loop));
  pipe.write("ab");
  ASSERT_TRUE(pipe.awaitReceived("ab"));
  pipe.write("c.");
  ASSERT_TRUE(pipe.awaitReceived("abc.")) << "the handler read what was there, then ended";
  pipe.write("d");
  roundTrip(loop);
  roundTrip(loop);
  EXPECT_EQ(pipe.received(), "abc.") << "a handler that said no more is not called again";
  EXPECT_TRUE(pipe.onLoopThread());

  // A second watch takes what the first left; cancelled from this thread, it is never
  // called again, however ready its descriptor.
  auto second = loop.watchReadable(pipe.readEnd(), pipe.handler(loop));
  ASSERT_TRUE(pipe.awaitReceived("abc.d"));
  second.reset();
  pipe.write("e");
  roundTrip(loop);
  roundTrip(loop);
  EXPECT_EQ(pipe.received(), "abc.d");
  watch.reset();
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
