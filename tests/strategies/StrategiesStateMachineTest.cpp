#include "trevalo/strategies/StrategiesStateMachine.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "StrategyPrinter.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/utils/TRLogger.h"
#include "trevalo/utils/TRUtils.h"

namespace trevalo {
namespace {

using Steps = std::vector<std::string>;

// "170 StrategyTypeLowWalking->StrategyTypeHighWalking": when a change was reported, from which
// type to which.
std::string step(double at, StrategyType from, const std::string& to) {
  std::ostringstream out;
  out << at << ' ' << TRUtils::strForStrategy(from) << "->" << to;
  return out.str();
}
std::string step(double at, StrategyType from, StrategyType to) {
  return step(at, from, TRUtils::strForStrategy(to));
}

// Records what the machine reports, with times relative to its making. The type entered is
// read from the "new mode:" line the machine logs just before it calls: the machine records
// the type only after the delegate has been told.
struct RecordingDelegate : StrategiesStateMachineDelegate {
  void strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from) override {
    steps.push_back(step(elapsed(), from, entered));
    strategies.push_back(strategy);
    if (onChange) onChange();
  }
  TRStateMachingeContext getStateMachineContext() override {
    contextRequests.push_back(elapsed());
    return context;
  }
  double elapsed() const { return Date::now().timeIntervalSinceDate(start); }

  const Date start = Date::now();
  TRStateMachingeContext context;
  Steps steps;
  std::vector<LocationManagerStrategy> strategies;
  std::vector<double> contextRequests;
  std::string entered;
  std::function<void()> onChange;
};

class StrategiesStateMachineTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    delegate_ = std::make_shared<RecordingDelegate>();
    machine_ = StrategiesStateMachine::initWithDelegate(delegate_);
    TRLogger::instance()->setSink([this](std::string_view message, std::string_view, double) {
      constexpr std::string_view kPrefix = "new mode:";
      if (message.starts_with(kPrefix)) delegate_->entered = message.substr(kPrefix.size());
    });
  }

  void TearDown() override {
    TRLogger::instance()->setSink({});
    machine_.reset();
    PlatformTest::TearDown();
  }

  // Starts in Initial and forces the change the analyzer's `mode` calls for, at time 0.
  void startIn(TRMode mode, bool moved = false) {
    machine_->startWithInitialState();
    delegate_->context.algorithmMode = mode;
    delegate_->context.everMovedInCurrentLoop = moved;
    machine_->forceStateChange();
  }

  static TRStateMachingeContext withSetting(TRSetting setting) {
    TRStateMachingeContext context;
    context.customSetting = setting;
    return context;
  }

  std::shared_ptr<RecordingDelegate> delegate_;
  std::shared_ptr<StrategiesStateMachine> machine_;
};

template <typename F>
void expectExceptionNamed(F&& call, const std::string& name) {
  try {
    call();
    ADD_FAILURE() << "no exception, expected " << name;
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), name);
    EXPECT_EQ(e.reason(), "");
    EXPECT_EQ(std::string(e.what()), name);
  }
}

TEST_F(StrategiesStateMachineTest, LowStrategiesMoveToTheHighCandidateAndAllOthersToTheLow) {
  const TRStateMachingeContext walking{TRModeWalking, false, std::nullopt};
  EXPECT_EQ(machine_->nextStrategyForTimer(walking), StrategyTypeInitial);  // from Unset

  const std::pair<StrategyType, StrategyType> table[] = {
      {StrategyTypeInitial, StrategyTypeLowWalking},
      {StrategyTypeLowWalking, StrategyTypeHighWalking},
      {StrategyTypeHighWalking, StrategyTypeLowWalking},
      {StrategyTypeCar, StrategyTypeLowWalking},
      {StrategyTypeBuildingModeMovingHigh, StrategyTypeLowWalking},
      {StrategyTypeBuildingModeMovingLow, StrategyTypeHighWalking},
      {StrategyTypeBuildingModeStill, StrategyTypeLowWalking},
      {StrategyTypeOff, StrategyTypeLowWalking},
      {StrategyTypeBurst, StrategyTypeLowWalking},
      {StrategyTypeWifi, StrategyTypeLowWalking},
      {StrategyTypeVisitWalkingHigh, StrategyTypeLowWalking},
      {StrategyTypeVisitWalkingLow, StrategyTypeHighWalking},
      {StrategyTypeGeofence, StrategyTypeLowWalking},
  };
  delegate_->context = walking;
  for (const auto& [current, next] : table) {
    SCOPED_TRACE(TRUtils::strForStrategy(current));
    machine_->changeStrategy(current, {});
    EXPECT_EQ(machine_->nextStrategyForTimer(walking), next);
    EXPECT_EQ(machine_->nextStrategyForcedWithReasonContext(walking), next);
    machine_->forceStateChange();
    EXPECT_EQ(machine_->currentStrategyType(), next);
  }
}

// Real cycles in virtual time ------------------------------------------------------------

struct AlternationCase {
  const char* name;
  TRMode mode;
  bool moved;
  StrategyType low;
  StrategyType high;
  LocationManagerStrategy (*lowPreset)();
  LocationManagerStrategy (*highPreset)();
};

class StrategiesStateMachineAlternationTest
    : public StrategiesStateMachineTest,
      public ::testing::WithParamInterface<AlternationCase> {};

TEST_P(StrategiesStateMachineAlternationTest, AlternatesLow170AndHigh3ForHalfAnHour) {
  const AlternationCase& c = GetParam();
  startIn(c.mode, c.moved);
  advanceBy(1800.0);

  Steps expected = {step(0, StrategyTypeUnset, StrategyTypeInitial),
                    step(0, StrategyTypeInitial, c.low)};
  for (double t = 170.0; t <= 1800.0; t += 173.0) {
    expected.push_back(step(t, c.low, c.high));
    if (t + 3.0 <= 1800.0) expected.push_back(step(t + 3.0, c.high, c.low));
  }
  EXPECT_EQ(delegate_->steps, expected);
  // Every decision asked for a fresh context and every one changed the strategy.
  EXPECT_EQ(delegate_->contextRequests.size(), delegate_->steps.size());
  for (std::size_t i = 1; i < delegate_->strategies.size(); ++i)
    EXPECT_EQ(delegate_->strategies[i], i % 2 ? c.lowPreset() : c.highPreset()) << i;
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);
}

using S = LocationManagerStrategy;
const AlternationCase kAlternations[] = {
    {"Walking", TRModeWalking, false, StrategyTypeLowWalking, StrategyTypeHighWalking,
     S::modeLowWalking, S::modeHighWalking},
    {"VisitWithMovement", TRModeVisit, true, StrategyTypeBuildingModeMovingLow,
     StrategyTypeBuildingModeMovingHigh, S::buildingModeMovingLow, S::buildingModeMovingHigh},
    {"VisitWalking", TRModeVisitWalking, false, StrategyTypeVisitWalkingLow,
     StrategyTypeVisitWalkingHigh, S::walkingVisitModeMovingLow, S::walkingVisitModeMovingHigh},
};
INSTANTIATE_TEST_SUITE_P(Modes, StrategiesStateMachineAlternationTest,
                         ::testing::ValuesIn(kAlternations),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReentryCase {
  const char* name;
  TRMode mode;
  StrategyType type;
};

class StrategiesStateMachineReentryTest : public StrategiesStateMachineTest,
                                          public ::testing::WithParamInterface<ReentryCase> {};

TEST_P(StrategiesStateMachineReentryTest, ReentersEvery170sSilentlyWithAFreshTimer) {
  startIn(GetParam().mode);
  ASSERT_EQ(delegate_->steps, (Steps{step(0, StrategyTypeUnset, StrategyTypeInitial),
                                     step(0, StrategyTypeInitial, GetParam().type)}));

  advanceBy(100.0);
  machine_->forceStateChange();  // same type again: restarts the 170 s
  advanceBy(500.0);

  EXPECT_EQ(delegate_->steps.size(), 2u);
  EXPECT_EQ(delegate_->contextRequests, (std::vector<double>{0, 0, 100, 270, 440}));
  EXPECT_EQ(machine_->currentStrategyType(), GetParam().type);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);
}

const ReentryCase kReentries[] = {
    {"Car", TRModeCar, StrategyTypeCar},
    {"Wifi", TRModeWifi, StrategyTypeWifi},
    {"VisitWithoutMovement", TRModeVisit, StrategyTypeBuildingModeStill}};
INSTANTIATE_TEST_SUITE_P(Modes, StrategiesStateMachineReentryTest, ::testing::ValuesIn(kReentries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StrategiesStateMachineTest, InitialBurstGeofenceAndOffNeverMoveOnByThemselves) {
  for (const auto& [mode, type] :
       {std::pair{TRModeInitial, StrategyTypeInitial}, std::pair{TRModeBurst, StrategyTypeBurst},
        std::pair{TRModeGeofence, StrategyTypeGeofence}}) {
    SCOPED_TRACE(TRUtils::strForStrategy(type));
    machine_->changeStrategy(StrategyTypeLowWalking, {});
    delegate_->context.algorithmMode = mode;
    machine_->forceStateChange();
    const auto requests = delegate_->contextRequests.size();
    advanceBy(30.0 * 24 * 3600);
    EXPECT_EQ(delegate_->contextRequests.size(), requests);
    EXPECT_EQ(machine_->description(),
              "{StateMachine:" + TRUtils::strForStrategy(type) + ", for:1.7976931348623157e+308s}");
  }

  // Off keeps no timer at all; only a forced change leaves it.
  machine_->changeStrategy(StrategyTypeOff, {});
  EXPECT_EQ(delegate_->strategies.back(), LocationManagerStrategy::modeOff());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  const auto requests = delegate_->contextRequests.size();
  advanceBy(3600.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
  delegate_->context.algorithmMode = TRModeWalking;
  machine_->forceStateChange();
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);
}

// Custom settings ---------------------------------------------------------------------------

TEST_F(StrategiesStateMachineTest, ACustomSettingIsWrittenIntoTheEnteredRecordAndAlwaysReported) {
  machine_->changeStrategy(StrategyTypeHighWalking, {});
  machine_->changeStrategy(StrategyTypeHighWalking, withSetting(TRSetting(TRSettingTypeMedium)));

  LocationManagerStrategy expected = LocationManagerStrategy::modeHighWalking();
  expected.desiredAccuracy = 100.0;
  expected.distanceFilter = 10.0;
  expected.compassOn = false;
  // Reported although the type stayed: the delegate must re-apply the changed record.
  ASSERT_EQ(delegate_->steps.size(), 2u);
  EXPECT_EQ(delegate_->steps[1], step(0, StrategyTypeHighWalking, StrategyTypeHighWalking));
  EXPECT_EQ(delegate_->strategies[1], expected);
  EXPECT_EQ(*machine_->currentStrategy(), expected);

  // The record keeps the setting after it is gone; other records never saw it.
  machine_->changeStrategy(StrategyTypeLowWalking, {});
  machine_->changeStrategy(StrategyTypeHighWalking, {});
  EXPECT_EQ(delegate_->strategies.back(), expected);
  EXPECT_EQ(delegate_->strategies[2], LocationManagerStrategy::modeLowWalking());

  // A setting of type None counts as no setting.
  TRSetting none(TRSettingTypeNone);
  none.desiredAccuracy = 5.0;
  machine_->changeStrategy(StrategyTypeHighWalking, withSetting(none));
  EXPECT_EQ(delegate_->steps.size(), 4u);
  EXPECT_EQ(machine_->currentStrategy()->desiredAccuracy, 100.0);

  // Still and Wifi start from the same preset but are separate records.
  machine_->changeStrategy(StrategyTypeBuildingModeStill,
                           withSetting(TRSetting(TRSettingTypeHigh)));
  EXPECT_EQ(machine_->strategies().at(StrategyTypeBuildingModeStill).desiredAccuracy, -1.0);
  EXPECT_EQ(machine_->strategies().at(StrategyTypeWifi),
            LocationManagerStrategy::buildingModeStill());

  // A setting in the delegate's context counts at each timed decision: every re-entry is told.
  TRSetting low(TRSettingTypeLow);
  low.distanceFilter = 250.0;
  delegate_->context = {TRModeVisit, false, low};
  advanceBy(340.0);
  EXPECT_EQ(delegate_->steps.back(),
            step(340, StrategyTypeBuildingModeStill, StrategyTypeBuildingModeStill));
  EXPECT_EQ(delegate_->steps.size(), 7u);
  EXPECT_EQ(delegate_->strategies.back().desiredAccuracy, 3000.0);
  EXPECT_EQ(delegate_->strategies.back().distanceFilter, 250.0);
}

// Faults, stop, threads and lifetime ------------------------------------------------------

TEST_F(StrategiesStateMachineTest, UnknownTypesAndModesRaiseByNameAndChangeNothing) {
  startIn(TRModeWalking);  // LowWalking until 170 s
  const auto changes = delegate_->steps.size();
  const auto requests = delegate_->contextRequests.size();
  for (const int type : {13, -1, -2, 1000}) {
    expectExceptionNamed([&] { machine_->changeStrategy(static_cast<StrategyType>(type), {}); },
                         "Unknown Strategy Type");
  }
  advanceBy(169.0);  // no timer of a refused change fires in between
  EXPECT_EQ(delegate_->contextRequests.size(), requests);

  const std::pair<int, const char*> modes[] = {{9, "Mode is not implemented: 9"},
                                               {-1, "Mode is not implemented: 4294967295"}};
  for (const auto& [mode, name] : modes) {
    delegate_->context.algorithmMode = static_cast<TRMode>(mode);
    expectExceptionNamed([&] { machine_->forceStateChange(); }, name);
  }
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);
  EXPECT_EQ(delegate_->steps.size(), changes);

  // The running timer is untouched and its own decision raises to whoever drives the loop.
  expectExceptionNamed([&] { advanceBy(1.0); }, "Mode is not implemented: 4294967295");
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);
}

TEST_F(StrategiesStateMachineTest, AfterAStopOrItsEndTheMachineIsNeitherFiredNorCalled) {
  startIn(TRModeWalking);
  advanceBy(170.0);  // now HighWalking, whose timer runs out at 173
  machine_->stopAndClearCurrentState();
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeHighWalking);

  const auto requests = delegate_->contextRequests.size();
  const auto changes = delegate_->steps.size();
  advanceBy(3.0);
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeUnset);
  EXPECT_EQ(machine_->currentStrategy(), std::nullopt);
  EXPECT_EQ(machine_->description(), "{StateMachine:StrategyTypeUnset, for:0s}");
  advanceBy(3600.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
  EXPECT_EQ(delegate_->steps.size(), changes);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);

  machine_->startWithInitialState();
  EXPECT_EQ(delegate_->steps.back(), step(3773, StrategyTypeUnset, StrategyTypeInitial));

  // A machine that is gone takes its timer along, and work posted for it finds nobody.
  delegate_->context.algorithmMode = TRModeWalking;
  machine_->forceStateChange();
  std::thread([&] { machine_->forceStateChange(); }).join();
  machine_.reset();
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  advanceBy(3600.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests + 2);
}

TEST_F(StrategiesStateMachineTest, AChangeMadeByTheDelegateWhileBeingToldStands) {
  machine_->startWithInitialState();
  delegate_->onChange = [this] {
    if (delegate_->entered == "StrategyTypeHighWalking")
      machine_->changeStrategy(StrategyTypeCar, {});
  };
  machine_->changeStrategy(StrategyTypeHighWalking, {});
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeCar);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);

  delegate_->context.algorithmMode = TRModeCar;
  const auto requests = delegate_->contextRequests.size();
  advanceBy(169.0);  // HighWalking's 3 s timer must be gone
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
  advanceBy(1.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests + 1);
}

}  // namespace
}  // namespace trevalo
