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

// One mode of the analyzer, held for six minutes after the change it calls for at time 0.
struct CycleCase {
  const char* name;
  TRMode mode;
  bool everMoved;
  Steps entered;                  // when each type was entered, the Initial at 0 first
  std::vector<double> decisions;  // when the machine asked for a context
};

class StrategyCycleTest : public StrategiesStateMachineTest,
                          public ::testing::WithParamInterface<CycleCase> {};

TEST_P(StrategyCycleTest, EachModeWalksItsTimedCycle) {
  const auto& c = GetParam();
  delegate_->context.everMovedInCurrentLoop = c.everMoved;
  startIn(c.mode);
  ASSERT_TRUE(testing::runUntilWithin(
      runLoop(), 360.0, [&] { return delegate_->steps.size() >= c.entered.size(); },
      "every change of the cycle"))
      << c.entered.size() << " changes expected, " << delegate_->steps.size() << " seen";
  advanceBy(360.0 - delegate_->elapsed());

  // Each change reports the type it left: the types entered are the next ones reported, and
  // the current one.
  Steps entered;
  for (std::size_t i = 1; i < delegate_->steps.size(); ++i)
    entered.emplace_back(delegate_->steps[i - 1].first, delegate_->steps[i].second);
  entered.emplace_back(delegate_->steps.back().first, machine_->currentStrategyType());
  EXPECT_EQ(entered, c.entered);
  EXPECT_EQ(delegate_->contextRequests, c.decisions);
}

// Low strategies last 170 s and high ones 3 s; a mode with one strategy enters it again every
// 170 s without telling anyone, and the unending ones never ask again.
const CycleCase kCycles[] = {
    {"Walking",
     TRModeWalking,
     false,
     {{0, StrategyTypeInitial},
      {0, StrategyTypeLowWalking},
      {170, StrategyTypeHighWalking},
      {173, StrategyTypeLowWalking},
      {343, StrategyTypeHighWalking},
      {346, StrategyTypeLowWalking}},
     {0, 0, 170, 173, 343, 346}},
    {"VisitWalking",
     TRModeVisitWalking,
     true,
     {{0, StrategyTypeInitial},
      {0, StrategyTypeVisitWalkingLow},
      {170, StrategyTypeVisitWalkingHigh},
      {173, StrategyTypeVisitWalkingLow},
      {343, StrategyTypeVisitWalkingHigh},
      {346, StrategyTypeVisitWalkingLow}},
     {0, 0, 170, 173, 343, 346}},
    {"VisitMoving",
     TRModeVisit,
     true,
     {{0, StrategyTypeInitial},
      {0, StrategyTypeBuildingModeMovingLow},
      {170, StrategyTypeBuildingModeMovingHigh},
      {173, StrategyTypeBuildingModeMovingLow},
      {343, StrategyTypeBuildingModeMovingHigh},
      {346, StrategyTypeBuildingModeMovingLow}},
     {0, 0, 170, 173, 343, 346}},
    {"VisitStill",
     TRModeVisit,
     false,
     {{0, StrategyTypeInitial}, {0, StrategyTypeBuildingModeStill}},
     {0, 0, 170, 340}},
    {"Car", TRModeCar, false, {{0, StrategyTypeInitial}, {0, StrategyTypeCar}}, {0, 0, 170, 340}},
    {"Wifi", TRModeWifi, true, {{0, StrategyTypeInitial}, {0, StrategyTypeWifi}}, {0, 0, 170, 340}},
    {"Burst", TRModeBurst, true, {{0, StrategyTypeInitial}, {0, StrategyTypeBurst}}, {0, 0}},
    {"Geofence",
     TRModeGeofence,
     false,
     {{0, StrategyTypeInitial}, {0, StrategyTypeGeofence}},
     {0, 0}},
    {"Initial", TRModeInitial, false, {{0, StrategyTypeInitial}}, {0, 0}},
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

TEST_F(StrategiesStateMachineTest, SomeStrategiesStayPutAndOffSchedulesNothing) {
  for (const auto type :
       {StrategyTypeInitial, StrategyTypeBurst, StrategyTypeGeofence, StrategyTypeOff}) {
    machine_->changeStrategy(type, {});
    advanceBy(3600.0);
    EXPECT_EQ(machine_->currentStrategyType(), type);
  }
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  EXPECT_TRUE(delegate_->contextRequests.empty());
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
