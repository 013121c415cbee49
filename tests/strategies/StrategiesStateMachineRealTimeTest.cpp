#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "strategies/StrategiesStateMachine.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/linux/SystemPlatform.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;

// Records the previous types it is told of; a call off the run loop is recorded as kOffRunLoop.
constexpr auto kOffRunLoop = static_cast<StrategyType>(-100);

struct ThreadCheckingDelegate : StrategiesStateMachineDelegate {
  void strategyChangedTo(const LocationManagerStrategy&, StrategyType from) override {
    const bool onRunLoop = platform::Platform::current().runLoop().isCurrent();
    const std::lock_guard lock(mutex);
    froms.push_back(onRunLoop ? from : kOffRunLoop);
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
};

// The system platform with its real-time run loop on a thread of its own.
TEST(StrategiesRealTimeTest, ChangesRequestedFromOtherThreadsRunOnTheRunLoop) {
  testing::TemporaryDirectory directory;
  auto platform = platform::SystemPlatform::make({.documentsDirectory = directory.path()});
  auto previous = platform::Platform::install(platform);
  {
    const auto delegate = std::make_shared<ThreadCheckingDelegate>();
    const auto machine = StrategiesStateMachine::initWithDelegate(delegate);
    machine->startWithInitialState();
    std::thread([&] { machine->forceStateChange(); }).join();
    ASSERT_TRUE(delegate->waitForChanges(2));
    std::thread([&] { machine->changeStrategy(StrategyTypeHighWalking, {}); }).join();
    // HighWalking's 3-second timer moves on to LowWalking, on the run loop too.
    ASSERT_TRUE(delegate->waitForChanges(4));
    machine->stopAndClearCurrentState();
    std::thread([&] { machine->startWithInitialState(); }).join();
    ASSERT_TRUE(delegate->waitForChanges(5));

    const std::lock_guard lock(delegate->mutex);
    EXPECT_EQ(delegate->froms, (std::vector<StrategyType>{
                                   StrategyTypeUnset, StrategyTypeInitial, StrategyTypeLowWalking,
                                   StrategyTypeHighWalking, StrategyTypeUnset}));
  }
  platform::Platform::install(previous);
  platform.reset();  // stops and joins the loop's thread
}

}  // namespace
}  // namespace trevalo
