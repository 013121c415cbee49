#include "trevalo/platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "support/PlatformTest.h"
#include "trevalo/platform/BlockOperation.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/ThreadPool.h"

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

TEST_F(OperationQueueTest, SerialQueueRunsBlocksOneAtATimeInOrder) {
  OperationQueue queue;
  queue.setMaxConcurrentOperationCount(1);
  std::vector<int> order;
  for (int i = 0; i < 5; ++i)
    queue.addOperationWithBlock([&order, i] { order.push_back(i); });
  EXPECT_EQ(queue.operationCount(), 5u);
  runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST_F(OperationQueueTest, FailedAsyncOperationStaysAndCanBeStartedAgain) {
  OperationQueue queue;
  auto operation = std::make_shared<ScriptedOperation>();
  queue.addOperation(operation);
  runUntilIdle();
  EXPECT_EQ(operation->starts, 1);
  EXPECT_TRUE(operation->isExecuting());

  operation->complete(false);
  runUntilIdle();
  EXPECT_EQ(queue.operationCount(), 1u) << "a failed operation stays in the queue";
  EXPECT_EQ(operation->starts, 1) << "the queue starts each operation once";

  operation->start();
  operation->complete(true);
  runUntilIdle();
  EXPECT_EQ(operation->starts, 2);
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST_F(OperationQueueTest, SerialQueueWaitsForAnAsyncOperationToStopExecuting) {
  OperationQueue queue;
  queue.setMaxConcurrentOperationCount(1);
  auto first = std::make_shared<ScriptedOperation>();
  auto second = std::make_shared<ScriptedOperation>();
  queue.addOperation(first);
  queue.addOperation(second);
  runUntilIdle();
  EXPECT_EQ(first->starts, 1);
  EXPECT_EQ(second->starts, 0);
  first->complete(true);
  runUntilIdle();
  EXPECT_EQ(second->starts, 1);
  second->complete(true);
}

TEST_F(OperationQueueTest, CancelledOperationFinishesWithoutRunning) {
  OperationQueue queue;
  bool ran = false;
  auto operation = std::make_shared<BlockOperation>([&] { ran = true; });
  operation->cancel();
  queue.addOperation(operation);
  runUntilIdle();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(operation->isFinished());
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST_F(OperationQueueTest, AnOperationBelongsToOneQueue) {
  OperationQueue first;
  OperationQueue second;
  auto operation = std::make_shared<ScriptedOperation>();
  first.addOperation(operation);
  EXPECT_THROW(second.addOperation(operation), Exception);
  EXPECT_THROW(second.addOperation(nullptr), Exception);
  runUntilIdle();
  operation->complete(true);
}

TEST(OperationQueueThreadsTest, ConcurrentOperationsOnAThreadPoolAllFinishAndLeave) {
  OperationQueue queue(std::make_shared<ThreadPool>(4));
  constexpr int kCount = 200;
  std::atomic<int> done = 0;
  std::promise<void> all;
  for (int i = 0; i < kCount; ++i) {
    queue.addOperationWithBlock([&] {
      if (++done == kCount) all.set_value();
    });
  }
  ASSERT_EQ(all.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  for (int i = 0; i < 1000 && queue.operationCount() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueueThreadsTest, SerialQueueOnAThreadPoolNeverOverlaps) {
  OperationQueue queue(std::make_shared<ThreadPool>(4));
  queue.setMaxConcurrentOperationCount(1);
  std::atomic<int> inside = 0;
  std::atomic<int> overlaps = 0;
  std::vector<int> order;  // touched only inside the serial operations
  std::promise<void> all;
  constexpr int kCount = 100;
  for (int i = 0; i < kCount; ++i) {
    queue.addOperationWithBlock([&, i] {
      if (++inside > 1) ++overlaps;
      order.push_back(i);
      --inside;
      if (i == kCount - 1) all.set_value();
    });
  }
  ASSERT_EQ(all.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(overlaps, 0);
  ASSERT_EQ(order.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i)
    EXPECT_EQ(order[i], i);
}

}  // namespace
}  // namespace trevalo::platform
