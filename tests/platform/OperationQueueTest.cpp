#include "trevalo/platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <numeric>
#include <thread>

#include "platform/BlockOperation.h"
#include "platform/ThreadPool.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"

namespace trevalo::platform {
namespace {

// An asynchronous operation whose outcome the test decides: it starts executing and stays so
// until `complete` is called, then ends finished on success and idle (to be started again) on
// failure.
class ScriptedOperation final : public Operation {
 public:
  void start() override {
    if (isExecuting() || isFinished()) return;
    ++starts;
    willChangeValueForKey("isExecuting");
    executing_ = true;
    didChangeValueForKey("isExecuting");
  }
  bool isExecuting() const override { return executing_; }
  bool isFinished() const override { return finished_; }
  bool isAsynchronous() const override { return true; }

  void complete(bool success) {
    willChangeValueForKey("isFinished");
    willChangeValueForKey("isExecuting");
    executing_ = false;
    finished_ = success;
    didChangeValueForKey("isExecuting");
    didChangeValueForKey("isFinished");
  }

  std::atomic<int> starts = 0;

 private:
  std::atomic<bool> executing_ = false;
  std::atomic<bool> finished_ = false;
};

class OperationQueueTest : public testing::PlatformTest {};

TEST_F(OperationQueueTest, SerialQueueWaitsOnAsyncOperationsAndKeepsFailedOnesToRestart) {
  OperationQueue queue;
  queue.setMaxConcurrentOperationCount(1);
  auto first = std::make_shared<ScriptedOperation>();
  auto second = std::make_shared<ScriptedOperation>();
  queue.addOperation(first);
  queue.addOperation(second);
  runUntilIdle();
  EXPECT_EQ(first->starts, 1);
  EXPECT_EQ(second->starts, 0) << "the first is still executing";

  first->complete(false);
  runUntilIdle();
  EXPECT_EQ(queue.operationCount(), 2u) << "a failed operation stays in the queue";
  EXPECT_EQ(first->starts, 1) << "the queue starts each operation once";
  EXPECT_EQ(second->starts, 1);

  first->start();
  first->complete(true);
  second->complete(true);
  runUntilIdle();
  EXPECT_EQ(first->starts, 2);
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST_F(OperationQueueTest, CancelledOperationLeavesWithoutRunningAndNoneJoinsTwoQueues) {
  OperationQueue queue;
  OperationQueue other;
  bool ran = false;
  auto operation = std::make_shared<BlockOperation>([&] { ran = true; });
  operation->cancel();
  queue.addOperation(operation);
  EXPECT_THROW(other.addOperation(operation), Exception);
  EXPECT_THROW(other.addOperation(nullptr), Exception);
  runUntilIdle();
  EXPECT_FALSE(ran);
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueueThreadsTest, OnAThreadPoolASerialQueueNeverOverlapsAndAllOperationsLeave) {
  const auto pool = std::make_shared<ThreadPool>(4);
  OperationQueue concurrent(pool);
  OperationQueue serial(pool);
  serial.setMaxConcurrentOperationCount(1);
  std::atomic<int> inside = 0;
  std::atomic<int> overlaps = 0;
  std::atomic<int> done = 0;
  std::vector<int> order;  // touched only inside the serial operations
  std::promise<void> all;
  constexpr int kCount = 100;
  for (int i = 0; i < kCount; ++i) {
    concurrent.addOperationWithBlock([&] { ++done; });
    serial.addOperationWithBlock([&, i] {
      if (++inside > 1) ++overlaps;
      order.push_back(i);
      --inside;
      if (i == kCount - 1) all.set_value();
    });
  }
  ASSERT_EQ(all.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  for (int i = 0; i < 1000 && concurrent.operationCount() + serial.operationCount() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(concurrent.operationCount() + serial.operationCount(), 0u);
  EXPECT_EQ(done, kCount);
  EXPECT_EQ(overlaps, 0);
  std::vector<int> expected(kCount);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace trevalo::platform
