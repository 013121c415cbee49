#include "vell/TRVellLocation.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "json/LocationDictionary.h"
#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "vell/ExtraLocationInfoCollector.h"

namespace trevalo {
namespace {

using History = std::deque<std::shared_ptr<TRVellLocation>>;
using platform::AccelerometerData;
using platform::Heading;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

// One millidegree is about 111 m at the equator.
constexpr double kStep = 0.001;

std::shared_ptr<TRVellLocation> sampleAt(Coordinate coordinate) {
  return std::make_shared<TRVellLocation>(Location(coordinate, 0, 5, -1, -1, -1, Date(1.0e9)));
}

// Near 0/360, 90 and 270 the bearing folds onto the side of the previous one (the previous fix
// is at (0, 0)); a fix that has not moved keeps the previous bearing.
TEST(TRVellLocationBearingTest, FoldsOntoTheLineOfTravelOnThePreviousSide) {
  const struct {
    double previousBearing;
    Coordinate here;
    double realBearing, bearing, metres;
  } cases[] = {
      {90, {kStep, 0}, 180, 180, 111.3195},  {359, {kStep, 0}, 180, 360, 111.3195},
      {1, {kStep, 0}, 180, 0, 111.3195},     {2, {kStep, 0}, 180, 180, 111.3195},
      {179, {-kStep, 0}, 0, 180, 111.3195},  {89, {0, kStep}, -90, 90, 111.3195},
      {271, {0, kStep}, -90, 270, 111.3195}, {42, {0.0005 / 111319.49, 0}, 42, 42, 0.0005},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.previousBearing << " to " << c.bearing);
    History history{sampleAt({0, 0}), sampleAt(c.here)};
    history.front()->bearing = c.previousBearing;
    history.back()->calculateBearingAndDistance(history);
    EXPECT_NEAR(history.back()->realBearing, c.realBearing, 1e-9);
    EXPECT_NEAR(history.back()->bearing, c.bearing, 1e-9);
    EXPECT_NEAR(history.back()->distance, c.metres, 1e-4);
  }

  // A hole in the history is refused rather than followed.
  const History withHole{nullptr, sampleAt({0, 0})};
  EXPECT_THROW(withHole.back()->calculateBearingAndDistance(withHole), Exception);
}

// A walk east then north gives bearings 0 (first), 90, 180 and 180 (real: 0, -90, 180, 180).
// Each window's population spread goes to its middle sample, to the newest while there are two.
TEST(TRVellLocationBearingTest, FutureSpreadGoesToTheCentreOfTheWindow) {
  History history;
  for (const Coordinate coordinate : {Coordinate{0, 0}, Coordinate{0, kStep},
                                      Coordinate{kStep, kStep}, Coordinate{2 * kStep, kStep}}) {
    history.push_back(sampleAt(coordinate));
    history.back()->futureStdBearing = -1;
    history.back()->calculateBearingAndDistance(history);
  }
  const auto spread = [](std::vector<double> bearings) { return TRVellLocation::std(bearings); };
  EXPECT_NEAR(spread({10, 20, 30}), 8.16496580927726, 1e-12);
  EXPECT_NEAR(history[1]->stdBearing, 45, 1e-9);
  EXPECT_NEAR(history[2]->stdBearing, spread({0, 90, 180}), 1e-9);
  EXPECT_EQ(history[0]->futureStdBearing, 0);
  EXPECT_NEAR(history[1]->futureStdBearing, spread({0, 90, 180}), 1e-9);
  EXPECT_NEAR(history[2]->futureStdBearing, spread({90, 180, 180}), 1e-9);
  EXPECT_NEAR(history[2]->futureRealStdBearing, spread({-90, 180, 180}), 1e-9);
}

// Only meaningful means of the last entries count; holes and missing means are skipped.
TEST(TRVellLocationBearingTest, RollingAccelerationAveragesMeaningfulMeans) {
  const auto withMean = [](std::optional<TRVector> mean) {
    auto sample = sampleAt({0, 0});
    sample->avarageAcceleration = mean;
    return sample;
  };
  History history{withMean(TRVector(9, 9, 9)),  // beyond the window
                  withMean(TRVector(0, 0, 0)),  withMean(std::nullopt),
                  withMean(TRVector(1, 2, 3)),  nullptr,
                  withMean(TRVector(3, 4, -5)), withMean(TRVector(0, 0.00005, 0))};
  history.back()->calculateRollingAverageAcceleration(history, 6);
  EXPECT_EQ(history.back()->rollingAvarageAcceleration, TRVector(2, 3, -1));
}

const Location kFix({48.85, 2.35}, 35, 6, 3, 90, 1.4, Date(1767225590.5));

class TRVellLocationFormsTest : public testing::PlatformTest {};

// A sample taken from a collector holding two accelerations and one sample of each other kind.
TRVellLocation sample(bool indoor, std::optional<std::string> wifi) {
  ExtraLocationInfoCollector collector;
  collector.addAccelerometerDataIfNeeded(AccelerometerData{{0.25, -1, 0.5}, 35012.45});
  collector.addAccelerometerDataIfNeeded(AccelerometerData{{0.75, 0, 0.5}, 35012.5});
  collector.addGyroDataIfNeeded(platform::GyroData{{0.1, -0.2, 0.3}, 35012.45});
  collector.addAltitude(platform::AltitudeData{-1.5, 35012.45});
  collector.addNewHeading(Heading{84, 87, 15, -12.5, 30.25, -40, Date(1.5)});
  TRVellLocation location(kFix, collector, std::move(wifi));
  location.isIndoor = indoor;
  location.mode = TRModeBurst;
  return location;
}

// The accelerometer, gyroscope and altitude forms carry the time the map is built, in whole
// milliseconds; indoors the point leaves the sensor lists out, the recording keeps them all.
TEST_F(TRVellLocationFormsTest, PointAndRecordingMaps) {
  advanceBy(1.2345);
  const TRVellLocation outdoor = sample(false, "  Corner Cafe\t");
  EXPECT_EQ(outdoor.avarageAcceleration, TRVector(0.5, -0.5, 0.5));
  Json point = LocationDictionary::dictionaryRepresentation(kFix);
  point["headings"] = Json::parse(R"([{"magneticHeading": 84.0, "trueHeading": 87.0,
      "headingAccuracy": 15.0, "headingX": -12.5, "headingY": 30.25, "headingZ": -40.0,
      "timeStamp": 1500}])");
  point["accelerometerData"] = Json::parse(R"([
      {"accelerationX": 0.25, "accelerationY": -1.0, "accelerationZ": 0.5, "timeStamp": 1767225601234},
      {"accelerationX": 0.75, "accelerationY": 0.0, "accelerationZ": 0.5, "timeStamp": 1767225601234}])");
  point["wifi"] = "Corner Cafe";
  point["mode"] = "burst";
  point["isindoor"] = false;
  EXPECT_EQ(outdoor.dictionaryRepresentation(), point);

  const TRVellLocation indoor = sample(true, std::nullopt);
  Json recording = LocationDictionary::dictionaryRepresentation(kFix);
  recording["mode"] = "burst";
  recording["isindoor"] = true;
  EXPECT_EQ(indoor.dictionaryRepresentation(), recording);
  recording.erase("mode");
  recording.erase("isindoor");
  recording["headings"] = point["headings"];
  recording["accelerometerData"] = point["accelerometerData"];
  recording["gyroData"] = Json::parse(R"([{"rotationX": 0.1, "rotationY": -0.2, "rotationZ": 0.3,
      "timeStamp": 1767225601234}])");
  recording["altitudeData"] = Json::parse(R"([{"altitude": -1.5, "timeStamp": 1767225601234}])");
  recording["mode"] = "burst";
  recording["isindoor"] = true;
  EXPECT_EQ(indoor.dictionaryRepresentationForTracemoor(), recording);
}

// Only the fix, the headings, the accelerations and the indoor flag are read back; elements that
// are not maps are skipped rather than read as samples at time 0.
TEST_F(TRVellLocationFormsTest, ReplaysARecordingAndToleratesOddInput) {
  std::ifstream file(TREVALO_TEST_DATA_DIR "/vell/recorded_sample.json");
  const TRVellLocation replayed(Json::parse(file));
  EXPECT_EQ(replayed.location,
            Location({52.5200066, 13.404954}, 34.5, 8, 4, 87.5, 1.25, Date(1767225612.25)));
  ASSERT_EQ(replayed.headingArray.size(), 2u);
  EXPECT_EQ(replayed.headingArray[1],
            (Heading{85.3, 88.2, 15, -12.0, 30.5, -39.75, Date(1767225612.0)}));
  ASSERT_EQ(replayed.accelArray.size(), 3u);
  EXPECT_EQ(replayed.accelArray[0], (AccelerometerData{{0.012, -0.981, 0.054}, 35011.9}));
  EXPECT_TRUE(replayed.isIndoor);

  const TRVellLocation odd(Json::parse(R"({"latitude": "12.5", "longitude": 3,
      "headings": {"magneticHeading": 1}, "accelerometerData": [null, 4,
      {"accelerationX": 1}, {"accelerationX": "1", "accelerationY": true, "timeStamp": null}]})"));
  EXPECT_EQ(odd.location.coordinate(), (Coordinate{12.5, 3}));
  EXPECT_TRUE(odd.headingArray.empty());
  EXPECT_EQ(odd.accelArray, (std::vector<AccelerometerData>{{{1, 0, 0}, 0}, {{0, 1, 0}, 0}}));
}

Json archived(const std::shared_ptr<const platform::Archivable>& record) {
  return KeyedUnarchiver::dumpAsJson(KeyedArchiver::archivedDataWithRootObject(record));
}

// Each sensor sample is a record of its own under its own keys; a restored sample writes the
// very archive it was read from, and only the keyed fields are kept.
TEST_F(TRVellLocationFormsTest, ArchivesTheKeyedFields) {
  auto original = std::make_shared<TRVellLocation>(kFix);
  original->accelArray.push_back({{0.0123, -0.9812, 0.0456}, 35012.45});
  original->headingArray.push_back({87.5, 90.25, 15, -12.5, 30.25, -40, Date(1767225612.345)});
  original->gyroArray.push_back({{0.1, 0.2, 0.3}, 35000.0});
  double value = 0;
  for (const auto field :
       {&TRVellLocation::distance, &TRVellLocation::bearing, &TRVellLocation::realBearing,
        &TRVellLocation::stdBearing, &TRVellLocation::realStdBearing, &TRVellLocation::indoorScore,
        &TRVellLocation::futureStdBearing, &TRVellLocation::futureRealStdBearing,
        &TRVellLocation::calculatedSpeed})
    (*original).*field = value += 1.25;
  original->isIndoor = true;
  original->wifiName = "Office";
  original->mode = static_cast<TRMode>(9);

  const Json objects = archived(original)["objects"];
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0], Json::parse(R"({"$class": "CMAccelerometerDataCustom",
      "_trAcceleration.x": 0.0123, "_trAcceleration.y": -0.9812, "_trAcceleration.z": 0.0456,
      "_trTimeStamp": 35012.45})"));
  EXPECT_EQ(objects[1], Json::parse(R"({"$class": "CLHeadingCustom", "_trMagneticHeading": 87.5,
      "_trTrueHeading": 90.25, "_trHeadingAccuracy": 15.0, "_trX": -12.5, "_trY": 30.25,
      "_trZ": -40.0, "_trTimestamp": {"$date": 1767225612.345}})"));
  Json fields = objects[2];
  fields.erase("self.location");
  EXPECT_EQ(fields, Json::parse(R"({"$class": "TRVellLocation", "self.accelArray": [{"$ref": 0}],
      "self.headingArray": [{"$ref": 1}], "self.distance": 1.25, "self.bearing": 2.5,
      "self.realBearing": 3.75, "self.stdBearing": 5.0, "self.realStdBearing": 6.25,
      "self.isIndoor": true, "self.indoorScore": 7.5, "self.futureStdBearing": 8.75,
      "self.futureRealStdBearing": 10.0, "self.wifiName": "Office", "self.calculatedSpeed": 11.25,
      "self.mode": 9})"));

  const auto restored = KeyedUnarchiver::unarchiveObjectOfClass<TRVellLocation>(
      KeyedArchiver::archivedDataWithRootObject(original));
  ASSERT_TRUE(restored);
  EXPECT_EQ(archived(restored), archived(original));
  EXPECT_TRUE(restored->gyroArray.empty());
}

// A stand-in for a damaged or foreign record filed under the enriched location's class name:
// without its fix, or with a null sample.
struct DamagedRecord final : platform::Archivable {
  bool withFix = false;
  std::string archiveClassName() const override { return TRVellLocation::kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    if (!withFix) return coder.encodeDouble(3.5, "self.distance");
    coder.encodeLocation(kFix, "self.location");
    coder.encodeObjectList({nullptr}, "self.accelArray");
  }
};

TEST(TRVellLocationArchiveTest, ARecordWithoutItsFixOrWithANullSampleIsRefused) {
  for (const bool withFix : {false, true}) {
    auto record = std::make_shared<DamagedRecord>();
    record->withFix = withFix;
    EXPECT_THROW(KeyedUnarchiver::unarchiveObjectOfClass<TRVellLocation>(
                     KeyedArchiver::archivedDataWithRootObject(record)),
                 platform::ArchiveError);
  }
}

}  // namespace
}  // namespace trevalo
