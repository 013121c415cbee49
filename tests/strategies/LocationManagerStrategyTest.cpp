#include "trevalo/strategies/LocationManagerStrategy.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

#include "StrategyFields.h"
#include "trevalo/strategies/TRSetting.h"

namespace trevalo {
namespace {

constexpr double kMax = std::numeric_limits<double>::max();

struct PresetCase {
  const char* name;
  LocationManagerStrategy (*make)();
  LocationManagerStrategy expected;
};

void PrintTo(const PresetCase& c, std::ostream* out) {
  *out << c.name;
}

class LocationManagerStrategyPresetTest : public ::testing::TestWithParam<PresetCase> {};

TEST_P(LocationManagerStrategyPresetTest, HoldsItsSettings) {
  EXPECT_EQ(testing::strategyFields(GetParam().make()),
            testing::strategyFields(GetParam().expected));
}

// Fields: distanceFilter, activityType, desiredAccuracy, pauses, timeInterval, startAction,
// headingFilter, compassOn.
INSTANTIATE_TEST_SUITE_P(
    Presets, LocationManagerStrategyPresetTest,
    ::testing::Values(PresetCase{"modeInitial",
                                 LocationManagerStrategy::modeInitial,
                                 {4.0, 3, 10.0, false, kMax, 0, 1.0, true}},
                      PresetCase{"modeLowWalking",
                                 LocationManagerStrategy::modeLowWalking,
                                 {4.0, 3, 10.0, false, 170.0, 0, 1.0, true}},
                      PresetCase{"modeHighWalking",
                                 LocationManagerStrategy::modeHighWalking,
                                 {1.0, 3, -1.0, false, 3.0, 0, 1.0, true}},
                      PresetCase{"carMode",
                                 LocationManagerStrategy::carMode,
                                 {999.0, 3, 3000.0, false, 170.0, 0, 90.0, false}},
                      PresetCase{"buildingModeMovingHigh",
                                 LocationManagerStrategy::buildingModeMovingHigh,
                                 {4.0, 3, 10.0, false, 3.0, 0, 90.0, false}},
                      PresetCase{"buildingModeMovingLow",
                                 LocationManagerStrategy::buildingModeMovingLow,
                                 {999.0, 3, 3000.0, false, 170.0, 0, 90.0, false}},
                      PresetCase{"buildingModeStill",
                                 LocationManagerStrategy::buildingModeStill,
                                 {999.0, 3, 3000.0, false, 170.0, 0, 90.0, false}},
                      PresetCase{"modeOff",
                                 LocationManagerStrategy::modeOff,
                                 {9223372036854775808.0, 3, 3000.0, false, 17.0, 1, 90.0, false}},
                      PresetCase{"burstMode",
                                 LocationManagerStrategy::burstMode,
                                 {-1.0, 3, -1.0, false, kMax, 0, 0.0, true}},
                      PresetCase{"walkingVisitModeMovingHigh",
                                 LocationManagerStrategy::walkingVisitModeMovingHigh,
                                 {1.0, 3, -1.0, false, 3.0, 0, 1.0, true}},
                      PresetCase{"walkingVisitModeMovingLow",
                                 LocationManagerStrategy::walkingVisitModeMovingLow,
                                 {4.0, 3, 10.0, false, 170.0, 0, 1.0, true}},
                      PresetCase{"geofenceMode",
                                 LocationManagerStrategy::geofenceMode,
                                 {0.0, 0, 0.0, false, kMax, 2, 0.0, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LocationManagerStrategyTest, NamesActivityTypes) {
  const std::pair<std::int64_t, const char*> table[] = {{1, "Other"},   {2, "AutomativeNavigation"},
                                                        {3, "Fitness"}, {4, "OtherNavigation"},
                                                        {0, "Unknown"}, {5, "Unknown"},
                                                        {-1, "Unknown"}};
  for (const auto& [type, name] : table)
    EXPECT_EQ(LocationManagerStrategy::strForActivityType(type), name) << type;
}

TEST(LocationManagerStrategyTest, DescriptionShowsNumbersAsTheyAre) {
  EXPECT_EQ(LocationManagerStrategy::modeLowWalking().description(),
            "{Strategy: distanceFilter:4 activityType:Fitness accuracy:10 pausesAutomatically:0 "
            "timeInterval:170}");
  EXPECT_EQ(LocationManagerStrategy::burstMode().description(),
            "{Strategy: distanceFilter:-1 activityType:Fitness accuracy:-1 pausesAutomatically:0 "
            "timeInterval:1.7976931348623157e+308}");

  LocationManagerStrategy custom = LocationManagerStrategy::geofenceMode();
  custom.distanceFilter = 2.5;
  custom.pausesLocationUpdatesAutomatically = true;
  custom.activityType = 2;
  custom.timeInterval = 0.0;
  EXPECT_EQ(custom.description(),
            "{Strategy: distanceFilter:2.5 activityType:AutomativeNavigation accuracy:0 "
            "pausesAutomatically:1 timeInterval:0}");
}

struct SettingCase {
  std::uint64_t type;
  double desiredAccuracy;
  double distanceFilter;
};

TEST(TRSettingTest, InitWithTypeAssignsTheTypesValues) {
  const SettingCase table[] = {{0, -1.0, -1.0},  {1, 3000.0, 999.0}, {2, 100.0, 10.0},
                               {3, -1.0, 1.0},   {4, 0.0, 0.0},      {7, 0.0, 0.0},
                               {~0ULL, 0.0, 0.0}};
  for (const SettingCase& c : table) {
    const TRSetting setting(static_cast<TRSettingType>(c.type));
    EXPECT_EQ(setting.type(), c.type);
    EXPECT_EQ(setting.desiredAccuracy, c.desiredAccuracy) << "type " << c.type;
    EXPECT_EQ(setting.distanceFilter, c.distanceFilter) << "type " << c.type;
  }
}

}  // namespace
}  // namespace trevalo
