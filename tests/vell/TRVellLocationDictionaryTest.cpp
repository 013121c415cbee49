#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "support/PlatformTest.h"
#include "trevalo/networking/LocationDictionary.h"
#include "trevalo/vell/ExtraLocationInfoCollector.h"
#include "trevalo/vell/TRVellLocation.h"

namespace trevalo {
namespace {

using platform::AccelerometerData;
using platform::AltitudeData;
using platform::GyroData;
using platform::Heading;

const Location kFix({48.85, 2.35}, 35, 6, 3, 90, 1.4, Date(1767225590.5));

class TRVellLocationDictionaryTest : public testing::PlatformTest {
 protected:
  TRVellLocation sample(bool indoor, std::optional<std::string> wifi) {
    ExtraLocationInfoCollector collector;
    collector.addAccelerometerDataIfNeeded(AccelerometerData{{0.25, -1, 0.5}, 35012.45});
    collector.addGyroDataIfNeeded(GyroData{{0.1, -0.2, 0.3}, 35012.45});
    collector.addAltitude(AltitudeData{-1.5, 35012.45});
    collector.addNewHeading(Heading{.magneticHeading = 84,
                                    .trueHeading = 87,
                                    .headingAccuracy = 15,
                                    .x = -12.5,
                                    .y = 30.25,
                                    .z = -40,
                                    .timestamp = Date(1.5)});
    TRVellLocation location(kFix, collector, std::move(wifi));
    location.isIndoor = indoor;
    location.mode = TRModeBurst;
    return location;
  }
};

TEST_F(TRVellLocationDictionaryTest, OutdoorPointCarriesHeadingsAndAccelerationsStampedNow) {
  advanceBy(1.2345);  // the sensor forms carry the time the map is built, in whole milliseconds
  const Json point = sample(false, "  Corner Cafe\t").dictionaryRepresentation();

  Json expected = LocationDictionary::dictionaryRepresentation(kFix);
  expected["headings"] = Json::parse(R"([{"magneticHeading": 84.0, "trueHeading": 87.0,
      "headingAccuracy": 15.0, "headingX": -12.5, "headingY": 30.25, "headingZ": -40.0,
      "timeStamp": 1500}])");
  expected["accelerometerData"] = Json::parse(R"([{"accelerationX": 0.25, "accelerationY": -1.0,
      "accelerationZ": 0.5, "timeStamp": 1767225601234}])");
  expected["wifi"] = "Corner Cafe";
  expected["mode"] = "burst";
  expected["isindoor"] = false;
  EXPECT_EQ(point, expected) << point.dump(2);
}

TEST_F(TRVellLocationDictionaryTest, IndoorPointLeavesTheSensorListsOutButTheRecordingKeepsThem) {
  const TRVellLocation indoor = sample(true, std::nullopt);
  const Json point = indoor.dictionaryRepresentation();
  EXPECT_FALSE(point.contains("headings"));
  EXPECT_FALSE(point.contains("accelerometerData"));
  EXPECT_FALSE(point.contains("wifi"));
  EXPECT_EQ(point["isindoor"], true);

  const Json recording = indoor.dictionaryRepresentationForTracemoor();
  Json expected = LocationDictionary::dictionaryRepresentation(kFix);
  expected["headings"] = indoor.headingsArrayJson();
  expected["accelerometerData"] = indoor.accelerationArrayJson();
  expected["gyroData"] = Json::parse(R"([{"rotationX": 0.1, "rotationY": -0.2, "rotationZ": 0.3,
      "timeStamp": 1767225600000}])");
  expected["altitudeData"] = Json::parse(R"([{"altitude": -1.5, "timeStamp": 1767225600000}])");
  expected["mode"] = "burst";
  expected["isindoor"] = true;
  EXPECT_EQ(recording, expected) << recording.dump(2);
  EXPECT_EQ(recording["headings"].size(), 1u);
  EXPECT_EQ(recording["accelerometerData"].size(), 1u);
}

TEST_F(TRVellLocationDictionaryTest, ModeNamesAndNotANumberValues) {
  const char* const names[] = {"initial",      "walking",  "burst", "car",     "visit",
                               "visitWalking", "geofence", "wifi",  "unknown", "unknown"};
  for (std::int32_t value = -1; value <= 9; ++value) {
    EXPECT_EQ(TRVellLocation::stringForMode(static_cast<TRMode>(value)),
              value < 0 ? "unknown" : names[value])
        << value;
  }

  TRVellLocation location(kFix);
  location.mode = static_cast<TRMode>(9);
  location.accelArray.push_back({{std::numeric_limits<double>::quiet_NaN(), 0, 0}, 0});
  const Json point = location.dictionaryRepresentation();
  EXPECT_EQ(point["mode"], "unknown");
  EXPECT_EQ(point["accelerometerData"][0],
            Json::parse(R"({"accelerationY": 0.0, "accelerationZ": 0.0,
                            "timeStamp": 1767225600000})"));
}

TEST_F(TRVellLocationDictionaryTest, ReplaysARecordedSample) {
  std::ifstream file(TREVALO_TEST_DATA_DIR "/vell/recorded_sample.json");
  const TRVellLocation replayed(Json::parse(file));

  EXPECT_EQ(replayed.location,
            Location({52.5200066, 13.404954}, 34.5, 8, 4, 87.5, 1.25, Date(1767225612.25)));
  ASSERT_EQ(replayed.headingArray.size(), 2u);
  EXPECT_EQ(replayed.headingArray[1],
            (Heading{85.3, 88.2, 15, -12.0, 30.5, -39.75, Date(1767225612.0)}));
  ASSERT_EQ(replayed.accelArray.size(), 3u);
  EXPECT_EQ(replayed.accelArray[0].acceleration, (platform::Acceleration{0.012, -0.981, 0.054}));
  EXPECT_DOUBLE_EQ(replayed.accelArray[0].timestamp, 35011.9);
  EXPECT_TRUE(replayed.isIndoor);

  // Only the fix, the headings, the accelerations and the indoor flag are read.
  EXPECT_TRUE(replayed.gyroArray.empty());
  EXPECT_TRUE(replayed.altitudeArray.empty());
  EXPECT_FALSE(replayed.wifiName);
  EXPECT_EQ(replayed.mode, TRModeInitial);
}

TEST_F(TRVellLocationDictionaryTest, ReplayToleratesOddInput) {
  // Elements that are not maps are skipped; in a sample, only numbers (Booleans included) count.
  const TRVellLocation odd(Json::parse(R"({"latitude": "12.5", "longitude": 3,
      "headings": {"magneticHeading": 1}, "isindoor": "yes", "accelerometerData": [null, 4,
      {"accelerationX": 1}, {"accelerationX": "1", "accelerationY": true, "timeStamp": null}]})"));
  EXPECT_EQ(odd.location.coordinate(), (Coordinate{12.5, 3}));
  EXPECT_TRUE(odd.headingArray.empty());
  EXPECT_EQ(odd.accelArray, (std::vector<AccelerometerData>{{{1, 0, 0}, 0}, {{0, 1, 0}, 0}}));
  EXPECT_TRUE(odd.isIndoor);

  const TRVellLocation empty(Json::parse("[1, 2]"));
  EXPECT_EQ(empty.location.horizontalAccuracy(), -1);
  EXPECT_TRUE(empty.accelArray.empty());
  EXPECT_FALSE(empty.isIndoor);
}

}  // namespace
}  // namespace trevalo
