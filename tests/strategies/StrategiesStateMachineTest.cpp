#include "strategies/StrategiesStateMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

// When a change was reported, and the type it left.
using Steps = std::vector<std::pair<double, StrategyType>>;

// Records what the machine reports, with times relative to its making.
struct RecordingDelegate : StrategiesStateMachineDelegate {
  void strategyChangedTo(const LocationManagerStrategy&, StrategyType from) override {
    steps.emplace_back(elapsed(), from);
    if (onChange) onChange(from);
  }
  TRStateMachingeContext getStateMachineContext() override {
    contextRequests.push_back(elapsed());
    return context;
  }
  double elapsed() const { return Date::now().timeIntervalSinceDate(start); }

  const Date start = Date::now();
  TRStateMachingeContext context;
  Steps steps;
  std::vector<double> contextRequests;
  std::function<void(StrategyType)> onChange;
};

class StrategiesStateMachineTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    delegate_ = std::make_shared<RecordingDelegate>();  // its clock is the simulated one
    machine_ = StrategiesStateMachine::initWithDelegate(delegate_);
  }
  void TearDown() override {
    machine_.reset();
    PlatformTest::TearDown();
  }

  // Starts in Initial and forces the change the analyzer's `mode` calls for, at time 0.
  void startIn(TRMode mode) {
    machine_->startWithInitialState();
    delegate_->context.algorithmMode = mode;
    machine_->forceStateChange();
  }

  std::shared_ptr<RecordingDelegate> delegate_;
  std::shared_ptr<StrategiesStateMachine> machine_;
};

// The machine's exceptions carry only a name, which is then their message.
auto raises(const char* name) {
  return ::testing::ThrowsMessage<Exception>(::testing::StrEq(name));
}

TEST_F(StrategiesStateMachineTest, WalkingAlternatesLow170AndHigh3ForHalfAnHour) {
  startIn(TRModeWalking);
  advanceBy(1800.0);

  Steps expected = {{0, StrategyTypeUnset}, {0, StrategyTypeInitial}};
  for (double t = 170.0; t <= 1800.0; t += 173.0) {
    expected.push_back({t, StrategyTypeLowWalking});
    if (t + 3.0 <= 1800.0) expected.push_back({t + 3.0, StrategyTypeHighWalking});
  }
  EXPECT_EQ(delegate_->steps, expected);
  // Every decision asked for a fresh context and every one changed the strategy.
  EXPECT_EQ(delegate_->contextRequests.size(), expected.size());
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);
}

TEST_F(StrategiesStateMachineTest, CarReentersEvery170sSilentlyWithAFreshTimer) {
  startIn(TRModeCar);
  advanceBy(100.0);
  machine_->forceStateChange();  // same type again: restarts the 170 s
  advanceBy(500.0);

  EXPECT_EQ(delegate_->steps, (Steps{{0, StrategyTypeUnset}, {0, StrategyTypeInitial}}));
  EXPECT_EQ(delegate_->contextRequests, (std::vector<double>{0, 0, 100, 270, 440}));
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeCar);
}

TEST_F(StrategiesStateMachineTest, SomeStrategiesStayPutAndACustomSettingRewritesTheRecord) {
  for (const auto type : {StrategyTypeInitial, StrategyTypeBurst, StrategyTypeGeofence}) {
    machine_->changeStrategy(type, {});
    advanceBy(3600.0);
    EXPECT_EQ(machine_->currentStrategyType(), type);
  }

  TRStateMachingeContext custom;
  custom.customSetting = TRSetting(TRSettingTypeMedium);
  const auto told = delegate_->steps.size();
  machine_->changeStrategy(StrategyTypeHighWalking, custom);
  machine_->changeStrategy(StrategyTypeHighWalking, custom);  // same type: told again
  EXPECT_EQ(delegate_->steps.size(), told + 2);
  const auto record = machine_->strategies().at(StrategyTypeHighWalking);
  EXPECT_EQ(record.desiredAccuracy, custom.customSetting->desiredAccuracy);
  EXPECT_EQ(record.distanceFilter, custom.customSetting->distanceFilter);
  EXPECT_NE(record.distanceFilter, LocationManagerStrategy::modeHighWalking().distanceFilter);
}

TEST_F(StrategiesStateMachineTest, UnknownTypesAndModesRaiseByNameAndChangeNothing) {
  startIn(TRModeWalking);  // LowWalking until 170 s
  const Steps steps = delegate_->steps;
  const auto requests = delegate_->contextRequests.size();
  EXPECT_THAT([&] { machine_->changeStrategy(static_cast<StrategyType>(13), {}); },
              raises("Unknown Strategy Type"));
  advanceBy(169.0);  // no timer of the refused change fires in between
  EXPECT_EQ(delegate_->contextRequests.size(), requests);

  delegate_->context.algorithmMode = static_cast<TRMode>(9);
  EXPECT_THAT([&] { machine_->forceStateChange(); }, raises("Mode is not implemented: 9"));
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);
  EXPECT_EQ(delegate_->steps, steps);
  // The running timer is untouched and its own decision raises to whoever drives the loop.
  EXPECT_THAT([&] { advanceBy(1.0); }, raises("Mode is not implemented: 9"));
}

TEST_F(StrategiesStateMachineTest, AfterAStopOrItsEndTheMachineIsNeitherFiredNorCalled) {
  startIn(TRModeWalking);
  advanceBy(170.0);  // now HighWalking, whose timer runs out at 173
  machine_->stopAndClearCurrentState();
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeHighWalking);
  const auto requests = delegate_->contextRequests.size();
  advanceBy(3600.0);
  EXPECT_EQ(machine_->description(), "{StateMachine:StrategyTypeUnset, for:0s}");
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);

  machine_->startWithInitialState();
  machine_->forceStateChange();  // a stopped machine starts again, with a timer
  // A machine that is gone takes its timer along, and work posted for it finds nobody.
  std::thread([&] { machine_->forceStateChange(); }).join();
  machine_.reset();
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  advanceBy(3600.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests + 2);
}

TEST_F(StrategiesStateMachineTest, AChangeMadeByTheDelegateWhileBeingToldStands) {
  machine_->startWithInitialState();
  bool changedBack = false;
  delegate_->onChange = [&](StrategyType) {
    if (!std::exchange(changedBack, true)) machine_->changeStrategy(StrategyTypeCar, {});
  };
  machine_->changeStrategy(StrategyTypeHighWalking, {});
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeCar);
  const auto requests = delegate_->contextRequests.size();
  advanceBy(169.0);  // HighWalking's 3 s timer must be gone
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
}

}  // namespace
}  // namespace trevalo
