#include "trevalo/strategies/StrategiesStateMachine.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "StrategyFields.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/utils/TRLogger.h"
#include "trevalo/utils/TRUtils.h"

namespace trevalo {
namespace {

using testing::strategyFields;

std::string shortName(StrategyType type) {
  return TRUtils::strForStrategy(type).substr(std::string("StrategyType").size());
}

// "170 LowWalking->HighWalking": when a change was reported, from which type to which.
std::string step(double at, StrategyType from, StrategyType to) {
  std::ostringstream out;
  out << at << ' ' << shortName(from) << "->" << shortName(to);
  return out.str();
}

StrategyType typeNamed(const std::string& name) {
  for (int type = -1; type <= 12; ++type) {
    if (TRUtils::strForStrategy(static_cast<StrategyType>(type)) == name)
      return static_cast<StrategyType>(type);
  }
  return static_cast<StrategyType>(99);
}

// Records what the machine reports, with times relative to the start of the test. The type
// entered is taken from the "new mode:" line the machine logs just before it calls.
class RecordingDelegate : public StrategiesStateMachineDelegate {
 public:
  struct Change {
    double at;
    StrategyType from;
    StrategyType to;
    LocationManagerStrategy strategy;
  };

  explicit RecordingDelegate(Date start) : start_(start) {}

  void strategyChangedTo(const LocationManagerStrategy& strategy, StrategyType from) override {
    changes.push_back({elapsed(), from, lastLoggedType, strategy});
    if (onChange) onChange();
  }

  TRStateMachingeContext getStateMachineContext() override {
    contextRequests.push_back(elapsed());
    return context;
  }

  std::vector<std::string> steps() const {
    std::vector<std::string> result;
    for (const Change& change : changes)
      result.push_back(step(change.at, change.from, change.to));
    return result;
  }

  TRStateMachingeContext context;
  std::vector<Change> changes;
  std::vector<double> contextRequests;
  StrategyType lastLoggedType = StrategyTypeUnset;
  std::function<void()> onChange;

 private:
  double elapsed() const { return Date::now().timeIntervalSinceDate(start_); }
  Date start_;
};

class StrategiesStateMachineTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    delegate_ = std::make_shared<RecordingDelegate>(now());
    machine_ = StrategiesStateMachine::initWithDelegate(delegate_);
    TRLogger::instance()->setSink(
        [this](std::string_view message, std::string_view key, double interval) {
          logged_.push_back(std::string(key) + "|" + std::string(message) + "|" +
                            std::to_string(interval));
          constexpr std::string_view kPrefix = "new mode:";
          if (delegate_ && message.starts_with(kPrefix))
            delegate_->lastLoggedType = typeNamed(std::string(message.substr(kPrefix.size())));
        });
  }

  void TearDown() override {
    TRLogger::instance()->setSink({});
    machine_.reset();
    delegate_.reset();
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
  std::vector<std::string> logged_;
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

// The next-strategy rule -------------------------------------------------------------------

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
    machine_->changeStrategy(current, {});
    EXPECT_EQ(machine_->nextStrategyForTimer(walking), next) << shortName(current);
    EXPECT_EQ(machine_->nextStrategyForcedWithReasonContext(walking), next);
    // A forced change goes where the rule says.
    machine_->forceStateChange();
    EXPECT_EQ(machine_->currentStrategyType(), next) << shortName(current);
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

  std::vector<std::string> expected = {step(0, StrategyTypeUnset, StrategyTypeInitial),
                                       step(0, StrategyTypeInitial, c.low)};
  for (double t = 170.0; t <= 1800.0; t += 173.0) {
    expected.push_back(step(t, c.low, c.high));
    if (t + 3.0 <= 1800.0) expected.push_back(step(t + 3.0, c.high, c.low));
  }
  EXPECT_EQ(delegate_->steps(), expected);
  // Every decision asked for a fresh context and every one changed the strategy.
  EXPECT_EQ(delegate_->contextRequests.size(), delegate_->changes.size());
  for (const auto& change : delegate_->changes) {
    if (change.to == c.low || change.to == c.high) {
      EXPECT_EQ(strategyFields(change.strategy),
                strategyFields(change.to == c.low ? c.lowPreset() : c.highPreset()));
    }
  }
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StrategiesStateMachineAlternationTest,
    ::testing::Values(AlternationCase{"Walking", TRModeWalking, false, StrategyTypeLowWalking,
                                      StrategyTypeHighWalking,
                                      LocationManagerStrategy::modeLowWalking,
                                      LocationManagerStrategy::modeHighWalking},
                      AlternationCase{"VisitWithMovement", TRModeVisit, true,
                                      StrategyTypeBuildingModeMovingLow,
                                      StrategyTypeBuildingModeMovingHigh,
                                      LocationManagerStrategy::buildingModeMovingLow,
                                      LocationManagerStrategy::buildingModeMovingHigh},
                      AlternationCase{"VisitWalking", TRModeVisitWalking, false,
                                      StrategyTypeVisitWalkingLow, StrategyTypeVisitWalkingHigh,
                                      LocationManagerStrategy::walkingVisitModeMovingLow,
                                      LocationManagerStrategy::walkingVisitModeMovingHigh}),
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
  ASSERT_EQ(delegate_->steps(),
            (std::vector<std::string>{step(0, StrategyTypeUnset, StrategyTypeInitial),
                                      step(0, StrategyTypeInitial, GetParam().type)}));

  advanceBy(100.0);
  machine_->forceStateChange();  // same type again: restarts the 170 s
  advanceBy(500.0);

  EXPECT_EQ(delegate_->changes.size(), 2u);
  EXPECT_EQ(delegate_->contextRequests, (std::vector<double>{0, 0, 100, 270, 440}));
  EXPECT_EQ(machine_->currentStrategyType(), GetParam().type);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Modes, StrategiesStateMachineReentryTest,
                         ::testing::Values(ReentryCase{"Car", TRModeCar, StrategyTypeCar},
                                           ReentryCase{"Wifi", TRModeWifi, StrategyTypeWifi},
                                           ReentryCase{"VisitWithoutMovement", TRModeVisit,
                                                       StrategyTypeBuildingModeStill}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StrategiesStateMachineTest, InitialBurstAndGeofenceNeverMoveOnByThemselves) {
  for (const auto& [mode, type] :
       {std::pair{TRModeInitial, StrategyTypeInitial}, std::pair{TRModeBurst, StrategyTypeBurst},
        std::pair{TRModeGeofence, StrategyTypeGeofence}}) {
    machine_->changeStrategy(StrategyTypeLowWalking, {});
    delegate_->context.algorithmMode = mode;
    machine_->forceStateChange();
    const auto requests = delegate_->contextRequests.size();
    advanceBy(30.0 * 24 * 3600);
    EXPECT_EQ(delegate_->contextRequests.size(), requests) << shortName(type);
    EXPECT_EQ(machine_->description(),
              "{StateMachine:" + TRUtils::strForStrategy(type) + ", for:1.7976931348623157e+308s}");
  }
}

TEST_F(StrategiesStateMachineTest, AStillVisitStartsAlternatingOnceTheUserMoves) {
  startIn(TRModeVisit, false);
  advanceBy(400.0);
  delegate_->context.everMovedInCurrentLoop = true;
  advanceBy(300.0);
  EXPECT_EQ(delegate_->steps(),
            (std::vector<std::string>{
                step(0, StrategyTypeUnset, StrategyTypeInitial),
                step(0, StrategyTypeInitial, StrategyTypeBuildingModeStill),
                step(510, StrategyTypeBuildingModeStill, StrategyTypeBuildingModeMovingLow),
                step(680, StrategyTypeBuildingModeMovingLow, StrategyTypeBuildingModeMovingHigh),
                step(683, StrategyTypeBuildingModeMovingHigh, StrategyTypeBuildingModeMovingLow)}));
  EXPECT_EQ(machine_->description(), "{StateMachine:StrategyTypeBuildingModeMovingLow, for:170s}");
}

TEST_F(StrategiesStateMachineTest, OffKeepsNoTimerAndIsLeftByAForcedChange) {
  startIn(TRModeWalking);
  machine_->changeStrategy(StrategyTypeOff, {});
  EXPECT_EQ(strategyFields(delegate_->changes.back().strategy),
            strategyFields(LocationManagerStrategy::modeOff()));
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);

  const auto requests = delegate_->contextRequests.size();
  advanceBy(3600.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeOff);

  machine_->forceStateChange();
  EXPECT_EQ(delegate_->steps().back(), step(3600, StrategyTypeOff, StrategyTypeLowWalking));
  EXPECT_EQ(logged_.back(), "mode|new mode:StrategyTypeLowWalking|0.000000");
}

// Custom settings ---------------------------------------------------------------------------

TEST_F(StrategiesStateMachineTest, ACustomSettingIsWrittenIntoTheEnteredRecordAndAlwaysReported) {
  machine_->changeStrategy(StrategyTypeHighWalking, {});
  machine_->changeStrategy(StrategyTypeHighWalking, withSetting(TRSetting(TRSettingTypeMedium)));

  LocationManagerStrategy expected = LocationManagerStrategy::modeHighWalking();
  expected.desiredAccuracy = 100.0;
  expected.distanceFilter = 10.0;
  expected.compassOn = false;
  ASSERT_EQ(delegate_->changes.size(), 2u);
  EXPECT_EQ(delegate_->changes[1].from, StrategyTypeHighWalking);
  EXPECT_EQ(strategyFields(delegate_->changes[1].strategy), strategyFields(expected));
  EXPECT_EQ(strategyFields(*machine_->currentStrategy()), strategyFields(expected));

  // The record keeps the setting after it is gone; other records never saw it.
  machine_->changeStrategy(StrategyTypeLowWalking, {});
  machine_->changeStrategy(StrategyTypeHighWalking, {});
  EXPECT_EQ(strategyFields(delegate_->changes.back().strategy), strategyFields(expected));
  EXPECT_EQ(strategyFields(delegate_->changes[2].strategy),
            strategyFields(LocationManagerStrategy::modeLowWalking()));

  // A setting of type None counts as no setting.
  TRSetting none(TRSettingTypeNone);
  none.desiredAccuracy = 5.0;
  machine_->changeStrategy(StrategyTypeHighWalking, withSetting(none));
  EXPECT_EQ(delegate_->changes.size(), 4u);
  EXPECT_EQ(machine_->currentStrategy()->desiredAccuracy, 100.0);
}

TEST_F(StrategiesStateMachineTest, ACustomSettingInTheContextReportsEveryTimedReentry) {
  TRSetting low(TRSettingTypeLow);
  low.distanceFilter = 250.0;
  delegate_->context.customSetting = low;
  startIn(TRModeCar);
  advanceBy(340.0);
  EXPECT_EQ(delegate_->steps(),
            (std::vector<std::string>{step(0, StrategyTypeUnset, StrategyTypeInitial),
                                      step(0, StrategyTypeInitial, StrategyTypeCar),
                                      step(170, StrategyTypeCar, StrategyTypeCar),
                                      step(340, StrategyTypeCar, StrategyTypeCar)}));
  for (const auto& change : delegate_->changes) {
    EXPECT_EQ(change.strategy.desiredAccuracy, 3000.0);
    EXPECT_EQ(change.strategy.distanceFilter, 250.0);
    EXPECT_FALSE(change.strategy.compassOn);
  }
}

TEST_F(StrategiesStateMachineTest, StillAndWifiKeepSeparateRecords) {
  TRSetting custom(TRSettingTypeHigh);
  custom.desiredAccuracy = 55.0;
  machine_->changeStrategy(StrategyTypeBuildingModeStill, withSetting(custom));
  const auto records = machine_->strategies();
  EXPECT_EQ(records.size(), 13u);
  EXPECT_EQ(records.at(StrategyTypeBuildingModeStill).desiredAccuracy, 55.0);
  EXPECT_EQ(strategyFields(records.at(StrategyTypeWifi)),
            strategyFields(LocationManagerStrategy::buildingModeStill()));
}

// Faults ------------------------------------------------------------------------------------

TEST_F(StrategiesStateMachineTest, AnUnknownModeRaisesAndChangesNothing) {
  startIn(TRModeWalking);
  const auto before = delegate_->changes.size();

  delegate_->context.algorithmMode = static_cast<TRMode>(9);
  expectExceptionNamed([&] { machine_->forceStateChange(); }, "Mode is not implemented: 9");
  delegate_->context.algorithmMode = static_cast<TRMode>(-1);
  expectExceptionNamed([&] { machine_->forceStateChange(); },
                       "Mode is not implemented: 4294967295");
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);
  EXPECT_EQ(delegate_->changes.size(), before);

  // The running timer is untouched and its own decision raises to whoever drives the loop.
  expectExceptionNamed([&] { advanceBy(170.0); }, "Mode is not implemented: 4294967295");
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);
}

TEST_F(StrategiesStateMachineTest, AStrategyTypeWithoutARecordRaisesUnknownStrategyType) {
  machine_->changeStrategy(StrategyTypeCar, {});
  for (const int type : {13, -1, -2, 1000}) {
    expectExceptionNamed([&] { machine_->changeStrategy(static_cast<StrategyType>(type), {}); },
                         "Unknown Strategy Type");
  }
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeCar);
  EXPECT_EQ(delegate_->changes.size(), 1u);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 1u);
}

// Stop, threads and lifetime --------------------------------------------------------------

TEST_F(StrategiesStateMachineTest, StopTakesEffectOnTheRunLoopAndCancelsTheDueTimer) {
  startIn(TRModeWalking);
  advanceBy(170.0);  // now HighWalking, whose timer runs out at 173
  machine_->stopAndClearCurrentState();
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeHighWalking);

  const auto requests = delegate_->contextRequests.size();
  const auto changes = delegate_->changes.size();
  advanceBy(3.0);
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeUnset);
  EXPECT_EQ(machine_->currentStrategy(), std::nullopt);
  EXPECT_EQ(machine_->description(), "{StateMachine:StrategyTypeUnset, for:0s}");
  advanceBy(3600.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
  EXPECT_EQ(delegate_->changes.size(), changes);
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);

  machine_->startWithInitialState();
  EXPECT_EQ(delegate_->steps().back(), step(3773, StrategyTypeUnset, StrategyTypeInitial));
}

TEST_F(StrategiesStateMachineTest, ACallFromAnotherThreadWaitsForTheRunLoop) {
  startIn(TRModeWalking);
  std::thread([&] {
    machine_->forceStateChange();
    machine_->changeStrategy(StrategyTypeBurst, {});
  }).join();
  EXPECT_EQ(runLoop().pendingTaskCount(), 2u);
  EXPECT_EQ(machine_->currentStrategyType(), StrategyTypeLowWalking);

  runUntilIdle();
  const auto steps = delegate_->steps();
  EXPECT_EQ(std::vector<std::string>(steps.end() - 2, steps.end()),
            (std::vector<std::string>{step(0, StrategyTypeLowWalking, StrategyTypeHighWalking),
                                      step(0, StrategyTypeHighWalking, StrategyTypeBurst)}));
}

TEST_F(StrategiesStateMachineTest, AChangeMadeByTheDelegateWhileBeingToldStands) {
  machine_->startWithInitialState();
  delegate_->onChange = [this] {
    if (delegate_->changes.back().to != StrategyTypeHighWalking) return;
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

TEST_F(StrategiesStateMachineTest, AMachineThatIsGoneIsNeitherFiredNorCalled) {
  startIn(TRModeWalking);
  std::thread([&] { machine_->forceStateChange(); }).join();
  machine_->stopAndClearCurrentState();
  const auto requests = delegate_->contextRequests.size();

  machine_.reset();
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
  advanceBy(3600.0);
  EXPECT_EQ(delegate_->contextRequests.size(), requests);
}

}  // namespace
}  // namespace trevalo
