#include "trevalo/strategies/LocationManagerStrategy.h"

#include <gtest/gtest.h>

#include <limits>

#include "StrategyPrinter.h"

namespace trevalo {
namespace {

using S = LocationManagerStrategy;

TEST(LocationManagerStrategyTest, PresetsHoldTheirSettings) {
  constexpr double kMax = std::numeric_limits<double>::max();
  // distanceFilter, activityType, desiredAccuracy, pauses, timeInterval, startAction,
  // headingFilter, compassOn
  const std::pair<S (*)(), S> table[] = {
      {S::modeInitial, {4.0, 3, 10.0, false, kMax, 0, 1.0, true}},
      {S::modeLowWalking, {4.0, 3, 10.0, false, 170.0, 0, 1.0, true}},
      {S::modeHighWalking, {1.0, 3, -1.0, false, 3.0, 0, 1.0, true}},
      {S::carMode, {999.0, 3, 3000.0, false, 170.0, 0, 90.0, false}},
      {S::buildingModeMovingHigh, {4.0, 3, 10.0, false, 3.0, 0, 90.0, false}},
      {S::buildingModeMovingLow, {999.0, 3, 3000.0, false, 170.0, 0, 90.0, false}},
      {S::buildingModeStill, {999.0, 3, 3000.0, false, 170.0, 0, 90.0, false}},
      {S::modeOff, {9223372036854775808.0, 3, 3000.0, false, 17.0, 1, 90.0, false}},
      {S::burstMode, {-1.0, 3, -1.0, false, kMax, 0, 0.0, true}},
      {S::walkingVisitModeMovingHigh, {1.0, 3, -1.0, false, 3.0, 0, 1.0, true}},
      {S::walkingVisitModeMovingLow, {4.0, 3, 10.0, false, 170.0, 0, 1.0, true}},
      {S::geofenceMode, {0.0, 0, 0.0, false, kMax, 2, 0.0, false}},
  };
  for (std::size_t i = 0; i < std::size(table); ++i)
    EXPECT_EQ(table[i].first(), table[i].second) << "preset #" << i;
}

TEST(LocationManagerStrategyTest, DescriptionShowsNumbersInTheirShortestForm) {
  S strategy = S::geofenceMode();
  strategy.distanceFilter = 2.5;
  strategy.pausesLocationUpdatesAutomatically = true;
  strategy.activityType = 2;
  EXPECT_EQ(strategy.description(),
            "{Strategy: distanceFilter:2.5 activityType:AutomativeNavigation accuracy:0 "
            "pausesAutomatically:1 timeInterval:1.7976931348623157e+308}");
  EXPECT_EQ(S::modeLowWalking().description(),
            "{Strategy: distanceFilter:4 activityType:Fitness accuracy:10 pausesAutomatically:0 "
            "timeInterval:170}");
}

}  // namespace
}  // namespace trevalo
