#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "support/TemporaryDirectory.h"
#include "trevalo/platform/SystemPlatform.h"
#include "trevalo/strategies/StrategiesStateMachine.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;

// Records the previous types it is told of, and whether every call came on the run loop.
class ThreadCheckingDelegate : public StrategiesStateMachineDelegate {
 public:
  void strategyChangedTo(const LocationManagerStrategy&, StrategyType from) override {
    const bool onRunLoop = platform::Platform::current().runLoop().isCurrent();
    {
      const std::lock_guard lock(mutex_);
      allOnRunLoop_ = allOnRunLoop_ && onRunLoop;
      froms_.push_back(from);
    }
    changed_.notify_all();
  }

  TRStateMachingeContext getStateMachineContext() override { return {TRModeWalking, false, {}}; }

  bool waitForChanges(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return froms_.size() >= count; });
  }
  std::vector<StrategyType> froms() const {
    const std::lock_guard lock(mutex_);
    return froms_;
  }
  bool allOnRunLoop() const {
    const std::lock_guard lock(mutex_);
    return allOnRunLoop_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<StrategyType> froms_;
  bool allOnRunLoop_ = true;
};

// The system platform, its real-time run loop on a thread of its own, installed for the test.
class StrategiesRealTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = platform::SystemPlatform::make({.documentsDirectory = directory_.path()});
    previous_ = platform::Platform::install(platform_);
    // Until its thread has run, the loop still counts the thread that made it as its own.
    drainRunLoop();
  }

  void TearDown() override {
    platform::Platform::install(previous_);
    platform_.reset();  // stops and joins the loop's thread
  }

  // Waits until the run loop has finished everything posted so far.
  void drainRunLoop() const {
    std::mutex mutex;
    std::condition_variable drained;
    bool done = false;
    platform_->runLoop().post([&] {
      const std::lock_guard lock(mutex);
      done = true;
      drained.notify_all();
    });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(drained.wait_for(lock, 20s, [&] { return done; }));
  }

  testing::TemporaryDirectory directory_;
  std::shared_ptr<platform::SystemPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
};

TEST_F(StrategiesRealTimeTest, ChangesRequestedFromOtherThreadsRunOnTheRunLoop) {
  const auto delegate = std::make_shared<ThreadCheckingDelegate>();
  const auto machine = StrategiesStateMachine::initWithDelegate(delegate);

  ASSERT_FALSE(platform_->runLoop().isCurrent());
  machine->startWithInitialState();
  std::thread([&] { machine->forceStateChange(); }).join();
  ASSERT_TRUE(delegate->waitForChanges(2));

  std::thread([&] { machine->changeStrategy(StrategyTypeHighWalking, {}); }).join();
  // HighWalking's 3-second timer moves on to LowWalking, on the run loop too.
  ASSERT_TRUE(delegate->waitForChanges(4));

  machine->stopAndClearCurrentState();
  std::thread([&] { machine->startWithInitialState(); }).join();
  ASSERT_TRUE(delegate->waitForChanges(5));
  drainRunLoop();

  EXPECT_TRUE(delegate->allOnRunLoop());
  EXPECT_EQ(delegate->froms(), (std::vector<StrategyType>{
                                   StrategyTypeUnset, StrategyTypeInitial, StrategyTypeLowWalking,
                                   StrategyTypeHighWalking, StrategyTypeUnset}));
  EXPECT_EQ(machine->currentStrategyType(), StrategyTypeInitial);
}

}  // namespace
}  // namespace trevalo
