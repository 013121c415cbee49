#include "strategies/StrategiesStateMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/PlatformTest.h"
#include "support/VirtualTime.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

// When a change was reported, and the type it left.
using Steps = std::vector<std::pair<double, StrategyType>>;

// Records what the machine reports, with times relative to its making.
struct RecordingDelegate : StrategiesStateMachineDelegate {
  void strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from) override {
    steps.emplace_back(elapsed(), from);
    told = strategy;
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
  std::optional<LocationManagerStrategy> told;  // the latest strategy the delegate was given
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

// One mode of the analyzer, held for six minutes after the change it calls for at time 0. Low
// strategies last 170 s and high ones 3 s; a mode with one strategy enters it again every 170 s
// without telling anyone, and the unending ones never ask again.
struct CycleCase {
  const char* name;
  TRMode mode;
  bool everMoved;
  StrategyType low;
  std::optional<StrategyType> high;  // the strategy the low one alternates with
  bool timed;                        // whether the machine decides again after 170 s
};

class StrategyCycleTest : public StrategiesStateMachineTest,
                          public ::testing::WithParamInterface<CycleCase> {};

TEST_P(StrategyCycleTest, EachModeWalksItsTimedCycle) {
  const auto& c = GetParam();
  // When each type is entered, the Initial at 0 first, and when the machine asks for a context.
  Steps expected{{0, StrategyTypeInitial}};
  std::vector<double> decisions{0, 0};
  if (c.mode != TRModeInitial) expected.emplace_back(0, c.low);
  if (c.high) {
    expected.insert(expected.end(), {{170, *c.high}, {173, c.low}, {343, *c.high}, {346, c.low}});
    decisions.insert(decisions.end(), {170, 173, 343, 346});
  } else if (c.timed) {
    decisions.insert(decisions.end(), {170, 340});
  }
  delegate_->context.everMovedInCurrentLoop = c.everMoved;
  startIn(c.mode);
  ASSERT_TRUE(testing::runUntilWithin(
      runLoop(), 360.0, [&] { return delegate_->steps.size() >= expected.size(); },
      "every change of the cycle"))
      << expected.size() << " changes expected, " << delegate_->steps.size() << " seen";
  advanceBy(360.0 - delegate_->elapsed());

  // Each change reports the type it left: the types entered are the next ones reported, and
  // the current one.
  Steps entered;
  for (std::size_t i = 1; i < delegate_->steps.size(); ++i)
    entered.emplace_back(delegate_->steps[i - 1].first, delegate_->steps[i].second);
  entered.emplace_back(delegate_->steps.back().first, machine_->currentStrategyType());
  EXPECT_EQ(entered, expected);
  EXPECT_EQ(delegate_->contextRequests, decisions);
}

const CycleCase kCycles[] = {
    {"Walking", TRModeWalking, false, StrategyTypeLowWalking, StrategyTypeHighWalking, true},
    {"VisitWalking", TRModeVisitWalking, true, StrategyTypeVisitWalkingLow,
     StrategyTypeVisitWalkingHigh, true},
    {"VisitMoving", TRModeVisit, true, StrategyTypeBuildingModeMovingLow,
     StrategyTypeBuildingModeMovingHigh, true},
    {"VisitStill", TRModeVisit, false, StrategyTypeBuildingModeStill, std::nullopt, true},
    {"Car", TRModeCar, false, StrategyTypeCar, std::nullopt, true},
    {"Wifi", TRModeWifi, true, StrategyTypeWifi, std::nullopt, true},
    {"Burst", TRModeBurst, true, StrategyTypeBurst, std::nullopt, false},
    {"Geofence", TRModeGeofence, false, StrategyTypeGeofence, std::nullopt, false},
    {"Initial", TRModeInitial, false, StrategyTypeInitial, std::nullopt, false},
};
INSTANTIATE_TEST_SUITE_P(Modes, StrategyCycleTest, ::testing::ValuesIn(kCycles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StrategiesStateMachineTest, CarReentersEvery170sSilentlyWithAFreshTimer) {
  startIn(TRModeCar);
  advanceBy(100.0);
  machine_->forceStateChange();  // same type again: restarts the 170 s
  advanceBy(500.0);

  EXPECT_EQ(delegate_->steps, (Steps{{0, StrategyTypeUnset}, {0, StrategyTypeInitial}}));
  EXPECT_EQ(delegate_->contextRequests, (std::vector<double>{0, 0, 100, 270, 440}));
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeCar);
}

TEST_F(StrategiesStateMachineTest, ACustomSettingRewritesTheRecordAndSwitchesTheCompassOff) {
  const auto preset = LocationManagerStrategy::modeHighWalking();
  ASSERT_TRUE(preset.compassOn);
  // A setting of no type leaves the record as it is, and the same type again goes untold.
  TRStateMachingeContext none;
  none.customSetting = TRSetting(TRSettingTypeNone);
  machine_->changeStrategy(StrategyTypeHighWalking, none);
  machine_->changeStrategy(StrategyTypeHighWalking, none);
  ASSERT_EQ(delegate_->steps.size(), 1u);
  EXPECT_EQ(delegate_->told->description(), preset.description());
  EXPECT_TRUE(delegate_->told->compassOn);

  TRStateMachingeContext custom;
  custom.customSetting = TRSetting(TRSettingTypeMedium);
  machine_->changeStrategy(StrategyTypeHighWalking, custom);
  machine_->changeStrategy(StrategyTypeHighWalking, custom);  // same type: told again
  EXPECT_EQ(delegate_->steps.size(), 3u);
  for (const auto& strategy :
       {machine_->strategies().at(StrategyTypeHighWalking), *delegate_->told}) {
    EXPECT_EQ(strategy.desiredAccuracy, custom.customSetting->desiredAccuracy);
    EXPECT_EQ(strategy.distanceFilter, custom.customSetting->distanceFilter);
    EXPECT_NE(strategy.distanceFilter, preset.distanceFilter);
    EXPECT_FALSE(strategy.compassOn);
    EXPECT_EQ(strategy.timeInterval, preset.timeInterval);
  }
  // Only the record entered is rewritten.
  EXPECT_TRUE(machine_->strategies().at(StrategyTypeLowWalking).compassOn);
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
