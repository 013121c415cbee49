#include <gtest/gtest.h>

#include "AnalyzerTestSupport.h"
#include "trevalo/analyzer/modes/TRBurstMode.h"
#include "trevalo/analyzer/modes/TRCarMode.h"
#include "trevalo/analyzer/modes/TRGeofenceMode.h"
#include "trevalo/analyzer/modes/TRInitialMode.h"
#include "trevalo/analyzer/modes/TRVisitMode.h"
#include "trevalo/analyzer/modes/TRVisitWalkingMode.h"
#include "trevalo/analyzer/modes/TRWalkingMode.h"
#include "trevalo/analyzer/modes/TRWifiMode.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

using testing::kOutdoors;
using testing::makeSample;
using testing::metres;

// Stands in for the analyzer: writes down what a mode asks of it.
class ModeSpy final : public TRModeDelegate {
 public:
  void changeModeTo(TRMode mode) override { switches.push_back(mode); }
  void onConfirmedDepartedVenueWithEndDate(Date endDate) override { departures.push_back(endDate); }
  std::shared_ptr<MetaOperationBase> sendCollectedPoints(
      const std::vector<std::shared_ptr<TRVellLocation>>& points) override {
    sent.push_back(points);
    return nullptr;
  }
  void reverseGeocode(const std::shared_ptr<TRVellLocation>& location) override {
    geocoded.push_back(location);
  }

  std::vector<TRMode> switches;
  std::vector<Date> departures;
  std::vector<std::vector<std::shared_ptr<TRVellLocation>>> sent;
  std::vector<std::shared_ptr<TRVellLocation>> geocoded;
};

class ModesTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    runUntilIdle();
    TRWalkingMode::resetCarModeCount();
  }

  template <class Mode>
  std::shared_ptr<Mode> make(TRMode value) {
    return std::dynamic_pointer_cast<Mode>(TRAbstractMode::modeFor(value, spy, context));
  }

  std::shared_ptr<TRVellLocation> sampleAt(double north, testing::FixKind kind = kOutdoors) {
    auto sample = makeSample(metres(0, north), now(), kind);
    context->locations.push_back(sample);
    return sample;
  }

  std::shared_ptr<ModeSpy> spy = std::make_shared<ModeSpy>();
  std::shared_ptr<TRLocationAnalyzerContext> context =
      std::make_shared<TRLocationAnalyzerContext>(TRGeofencesManager::make());
};

TEST_F(ModesTest, ModeForMakesOneObjectOfTheRightClassPerValue) {
  EXPECT_TRUE(make<TRInitialMode>(TRModeInitial));
  EXPECT_TRUE(make<TRWalkingMode>(TRModeWalking));
  EXPECT_TRUE(make<TRBurstMode>(TRModeBurst));
  EXPECT_TRUE(make<TRCarMode>(TRModeCar));
  EXPECT_TRUE(make<TRVisitMode>(TRModeVisit));
  EXPECT_TRUE(make<TRVisitWalkingMode>(TRModeVisitWalking));
  EXPECT_TRUE(make<TRGeofenceMode>(TRModeGeofence));
  EXPECT_TRUE(make<TRWifiMode>(TRModeWifi));
  const auto mode = TRAbstractMode::modeFor(TRModeCar, spy, context);
  EXPECT_EQ(mode->delegate(), spy);
  EXPECT_EQ(mode->context(), context);
  EXPECT_THROW(TRAbstractMode::modeFor(static_cast<TRMode>(-1), spy, context), Exception);
  EXPECT_THROW(TRAbstractMode::modeFor(static_cast<TRMode>(8), spy, context), Exception);
}

TEST_F(ModesTest, CarCountRisesWithFastAccurateSamplesDecaysWithSlowMovingOnesAndIsShared) {
  // One sample each: its speed, its accuracy, whether it moved at all; the count after it.
  struct Step {
    double speed;
    double accuracy;
    double distance;
    double countAfter;
    bool car;
  };
  const Step steps[] = {
      {6.0, 10.0, 30.0, 1.0, false}, {6.0, 10.0, 30.0, 2.0, false}, {6.0, 10.0, 30.0, 3.0, true},
      {6.0, 10.0, 30.0, 4.0, true},  {1.0, 10.0, 5.0, 2.5, false},  {6.0, 10.0, 30.0, 3.5, true},
      {6.0, 10.0, 30.0, 4.5, true},  {6.0, 10.0, 30.0, 5.5, true},  {6.0, 10.0, 30.0, 6.0, true},
      {6.0, 10.0, 30.0, 6.0, true},  {6.0, 30.0, 30.0, 4.5, true},  {5.0, 10.0, 25.0, 3.0, true},
      {1.0, 10.0, 0.0, 3.0, true},   {1.0, 10.0, 1.0, 1.5, false},  {1.0, 10.0, 1.0, 0.0, false},
      {1.0, 10.0, 1.0, 0.0, false},  {6.0, 24.9, 30.0, 1.0, false}};
  // The count is the process's, not the mode's: the steps alternate between two modes.
  const std::shared_ptr<TRWalkingMode> modes[] = {make<TRWalkingMode>(TRModeWalking),
                                                  make<TRWalkingMode>(TRModeWalking)};
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    const auto sample = makeSample(metres(0, 0), now(), {step.accuracy, 90.0, step.speed});
    sample->calculatedSpeed = step.speed;
    sample->distance = step.distance;
    EXPECT_EQ(modes[i % 2]->detectIfInCarMode(*sample), step.car) << "step " << i;
    EXPECT_EQ(TRWalkingMode::carModeCount(), step.countAfter) << "step " << i;
  }
}

TEST_F(ModesTest, BurstTakesAtMostFortyEarlierSamplesAndAddsItsOwn) {
  const auto burst = make<TRBurstMode>(TRModeBurst);
  for (int i = 0; i < 25; ++i)
    sampleAt(i);
  burst->willEnterModeFrom(TRModeWalking, {});
  EXPECT_EQ(burst->burstLocations().size(), 25u);
  EXPECT_EQ(spy->geocoded, std::vector{context->locations.back()});
  const auto own = sampleAt(100);
  EXPECT_EQ(burst->processLocation(own), TRModeBurst);

  for (int i = 0; i < 30; ++i)
    sampleAt(i);
  burst->willEnterModeFrom(TRModeVisitWalking, {});
  const auto& taken = burst->burstLocations();
  ASSERT_EQ(taken.size(), 40u);
  EXPECT_EQ(taken.front(), context->locations[context->locations.size() - 40]);
  EXPECT_EQ(taken.back(), context->locations.back());
  const auto handed = std::get<std::vector<std::shared_ptr<TRVellLocation>>>(burst->result());
  EXPECT_EQ(handed, taken);
}

TEST_F(ModesTest, TimersFireOnlyWhileTheirModeIsActiveAndNotAfterItIsGone) {
  auto burst = make<TRBurstMode>(TRModeBurst);
  sampleAt(0);
  burst->willEnterModeFrom(TRModeWalking, {});
  advanceBy(30.0);
  burst->willExitToMode(TRModeVisitWalking);
  advanceBy(60.0);
  EXPECT_TRUE(spy->switches.empty());

  burst->willEnterModeFrom(TRModeVisitWalking, {});
  burst.reset();
  advanceBy(60.0);
  EXPECT_TRUE(spy->switches.empty());
  EXPECT_EQ(runLoop().scheduledTimerCount(), 0u);
}

// The stay point at the origin, walking just reported, and one sample `north` metres away.
class VisitWalkingTest : public ModesTest {
 protected:
  void SetUp() override {
    ModesTest::SetUp();
    mode = make<TRVisitWalkingMode>(TRModeVisitWalking);
    context->lastGeocodedPoint = metres(0, 0);
    context->setLastWalkingDetectedOn(now());
  }

  TRMode outdoorSampleAt(double north) {
    context->setLastWalkingDetectedOn(now());
    return mode->processLocation(sampleAt(north));
  }

  std::shared_ptr<TRVisitWalkingMode> mode;
};

TEST_F(VisitWalkingTest, ADepartureNeedsMoreThanFiveOfOutdoorEvidence) {
  context->wentOutside = 5.0;
  EXPECT_EQ(outdoorSampleAt(150.0), TRModeVisitWalking);
  EXPECT_FALSE(mode->lastVisitEndCheckLocation);
  context->wentOutside = 5.5;
  EXPECT_EQ(outdoorSampleAt(150.0), TRModeWalking);
  EXPECT_EQ(spy->switches, std::vector<TRMode>{TRModeWalking});
  EXPECT_FALSE(context->lastGeocodedPoint.isValid());
}

TEST_F(VisitWalkingTest, DepartureChecksAreSpacedMoreThanThirtySecondsApart) {
  context->wentOutside = 10.0;
  EXPECT_EQ(outdoorSampleAt(90.0), TRModeVisitWalking);  // checked: not far enough
  ASSERT_TRUE(mode->lastVisitEndCheckLocation);
  const Date firstCheck = mode->lastVisitEndCheckLocation->timestamp();
  advanceBy(20.0);
  EXPECT_EQ(outdoorSampleAt(150.0), TRModeVisitWalking);  // too soon to check again
  advanceBy(10.0);
  EXPECT_EQ(outdoorSampleAt(150.0), TRModeVisitWalking);  // 30 s is not more than 30 s
  EXPECT_EQ(mode->lastVisitEndCheckLocation->timestamp(), firstCheck);
  advanceBy(1.0);
  EXPECT_EQ(outdoorSampleAt(150.0), TRModeWalking);
  EXPECT_TRUE(spy->departures.empty());  // reported on exit, which the analyzer drives
}

TEST_F(VisitWalkingTest, OnlyLeavingForWalkingOrTheCarReportsADeparture) {
  for (const TRMode next : {TRModeVisit, TRModeBurst, TRModeVisitWalking, TRModeWifi})
    mode->willExitToMode(next);
  EXPECT_TRUE(spy->departures.empty());
  mode->willExitToMode(TRModeWalking);
  advanceBy(5.0);
  mode->willExitToMode(TRModeCar);
  EXPECT_EQ(spy->departures, (std::vector<Date>{now().dateByAddingTimeInterval(-5.0), now()}));
}

}  // namespace
}  // namespace trevalo
