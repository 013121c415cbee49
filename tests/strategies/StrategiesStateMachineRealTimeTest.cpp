#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
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
struct ThreadCheckingDelegate : StrategiesStateMachineDelegate {
  void strategyChangedTo(const LocationManagerStrategy&, StrategyType from) override {
    const bool onRunLoop = platform::Platform::current().runLoop().isCurrent();
    const std::lock_guard lock(mutex);
    allOnRunLoop = allOnRunLoop && onRunLoop;
    froms.push_back(from);
    changed.notify_all();
  }
  TRStateMachingeContext getStateMachineContext() override { return {TRModeWalking, false, {}}; }

  bool waitForChanges(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 20s, [&] { return froms.size() >= count; });
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<StrategyType> froms;
  bool allOnRunLoop = true;
};

// The system platform, its real-time run loop on a thread of its own, installed for the test.
class StrategiesRealTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = platform::SystemPlatform::make({.documentsDirectory = directory_.path()});
    previous_ = platform::Platform::install(platform_);
  }

  void TearDown() override {
    platform::Platform::install(previous_);
    platform_.reset();  // stops and joins the loop's thread
  }

  // Waits until the run loop has finished everything posted so far.
  void drainRunLoop() const {
    std::promise<void> drained;
    platform_->runLoop().post([&] { drained.set_value(); });
    ASSERT_EQ(drained.get_future().wait_for(20s), std::future_status::ready);
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

  const std::lock_guard lock(delegate->mutex);
  EXPECT_TRUE(delegate->allOnRunLoop);
  EXPECT_EQ(delegate->froms, (std::vector<StrategyType>{
                                 StrategyTypeUnset, StrategyTypeInitial, StrategyTypeLowWalking,
                                 StrategyTypeHighWalking, StrategyTypeUnset}));
  EXPECT_EQ(machine->currentStrategyType(), StrategyTypeInitial);
}

}  // namespace
}  // namespace trevalo
