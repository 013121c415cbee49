#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/ArchiveError.h"
#include "trevalo/platform/KeyedArchiver.h"
#include "trevalo/platform/KeyedUnarchiver.h"
#include "trevalo/vell/TRVellLocation.h"

namespace trevalo {
namespace {

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

// A sample with every field set to something other than its default, each value distinct so
// that two fields swapped on the way back show.
std::shared_ptr<TRVellLocation> filledSample(int index) {
  auto sample =
      std::make_shared<TRVellLocation>(Location({48.85 + index * 1e-5, 2.35 - index * 1e-5}, 35.5,
                                                6, 3, 90, 1.4, Date(1767225600.0 + index)));
  for (int i = 0; i < 20; ++i) {
    sample->accelArray.push_back(
        {{0.01 * i, -0.98 + 0.001 * index, 0.05 - 0.002 * i}, 35000.0 + index + 0.05 * i});
  }
  for (int i = 0; i < 5; ++i) {
    // Magnetic and true heading, accuracy, x, y, z, time.
    sample->headingArray.push_back({80.0 + i, 83.25 + i, 15, -12.5 + index, 30.25, -40.0 - i,
                                    Date(1767225599.125 + index + 0.2 * i)});
  }
  sample->gyroArray.push_back({{0.1, 0.2, 0.3}, 35000.0});
  sample->altitudeArray.push_back({1.5, 35000.0});
  sample->avarageAcceleration = TRVector(0.1, -0.9, 0.05);
  sample->rollingAvarageAcceleration = TRVector(0.1, -0.95, 0.04);
  double value = index;
  for (const auto field :
       {&TRVellLocation::distance, &TRVellLocation::bearing, &TRVellLocation::realBearing,
        &TRVellLocation::stdBearing, &TRVellLocation::realStdBearing, &TRVellLocation::indoorScore,
        &TRVellLocation::futureStdBearing, &TRVellLocation::futureRealStdBearing,
        &TRVellLocation::calculatedSpeed}) {
    value += 1.25;
    (*sample).*field = value;
  }
  sample->isIndoor = index % 2 == 1;
  sample->wifiName = index % 3 == 0 ? std::nullopt : std::optional<std::string>("Office");
  sample->mode = index == 7 ? static_cast<TRMode>(9) : TRModeVisitWalking;
  return sample;
}

// Everything the archive holds of a sample, as the dump tool shows it: a restored sample that
// writes the same archive again has read every keyed field back.
Json archived(const std::shared_ptr<const platform::Archivable>& record) {
  return KeyedUnarchiver::dumpAsJson(KeyedArchiver::archivedDataWithRootObject(record));
}

class TRVellLocationArchiveTest : public testing::PlatformTest {};

TEST_F(TRVellLocationArchiveTest, ARoundTripOfAHundredSamplesKeepsTheKeyedFields) {
  std::vector<std::shared_ptr<TRVellLocation>> originals;
  for (int i = 0; i < 100; ++i)
    originals.push_back(filledSample(i));
  originals.push_back(originals[3]);  // listed twice, still one object

  KeyedArchiver archiver;
  archiver.encodeObjects(originals, "self.locations");
  const auto data = archiver.encodedData();
  KeyedUnarchiver reader(data);
  const auto back = reader.decodeArrayOfObjectsOfClass<TRVellLocation>("self.locations");

  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), originals.size());
  for (std::size_t i = 0; i < originals.size(); ++i) {
    ASSERT_TRUE((*back)[i]);
    EXPECT_EQ(archived((*back)[i]), archived(originals[i])) << i;
  }
  EXPECT_EQ(back->back(), (*back)[3]);
  const TRVellLocation& first = *back->front();
  EXPECT_EQ(first.location, originals[0]->location);
  EXPECT_EQ(first.headingArray, originals[0]->headingArray);
  EXPECT_EQ(back->at(7)->mode, 9) << "an unknown mode survives";
  // Only the keyed fields are kept.
  EXPECT_TRUE(first.gyroArray.empty());
  EXPECT_TRUE(first.altitudeArray.empty());
  EXPECT_FALSE(first.avarageAcceleration);
  EXPECT_FALSE(first.rollingAvarageAcceleration);

  const auto file = documentsDirectory() / "sample.dat";
  ASSERT_TRUE(KeyedArchiver::archiveRootObject(originals[1], file));
  const auto fromFile = KeyedUnarchiver::unarchiveObjectOfClassWithFile<TRVellLocation>(file);
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(archived(fromFile), archived(originals[1]));
}

// Each sensor sample is a record of its own, under its own keys.
TEST_F(TRVellLocationArchiveTest, WritesTheDocumentedKeysInOrder) {
  auto sample = std::make_shared<TRVellLocation>(
      Location({48.85, 2.35}, 35.5, 6, 3, 90, 1.4, Date(1767225600.0)));
  sample->accelArray.push_back({{0.0123, -0.9812, 0.0456}, 35012.45});
  sample->headingArray.push_back({87.5, 90.25, 15, -12.5, 30.25, -40, Date(1767225612.345)});
  sample->mode = TRModeVisitWalking;

  const Json objects = archived(sample)["objects"];

  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0], Json::parse(R"({"$class": "CMAccelerometerDataCustom",
      "_trAcceleration.x": 0.0123, "_trAcceleration.y": -0.9812, "_trAcceleration.z": 0.0456,
      "_trTimeStamp": 35012.45})"));
  EXPECT_EQ(objects[1], Json::parse(R"({"$class": "CLHeadingCustom", "_trMagneticHeading": 87.5,
      "_trTrueHeading": 90.25, "_trHeadingAccuracy": 15.0, "_trX": -12.5, "_trY": 30.25,
      "_trZ": -40.0, "_trTimestamp": {"$date": 1767225612.345}})"));
  std::vector<std::string> keys;
  for (const auto& [key, value] : objects[2].items())
    keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "$class", "self.location", "self.accelArray", "self.headingArray",
                      "self.distance", "self.bearing", "self.realBearing", "self.stdBearing",
                      "self.realStdBearing", "self.isIndoor", "self.indoorScore",
                      "self.futureStdBearing", "self.futureRealStdBearing", "self.wifiName",
                      "self.calculatedSpeed", "self.mode"}));
  EXPECT_EQ(objects[2]["$class"], "TRVellLocation");
  EXPECT_EQ(objects[2]["self.mode"], TRModeVisitWalking);
  EXPECT_TRUE(objects[2]["self.mode"].is_number_integer());
}

// Stand in for damaged or foreign records filed under the enriched location's class name.
struct LocationlessRecord final : platform::Archivable {
  std::string archiveClassName() const override { return TRVellLocation::kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeDouble(3.5, "self.distance");
  }
};

struct NullSampleRecord final : platform::Archivable {
  std::string archiveClassName() const override { return TRVellLocation::kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeLocation(Location({1, 2}, 0, 5, -1, -1, -1, Date(3)), "self.location");
    coder.encodeObjectList({nullptr}, "self.accelArray");
  }
};

TEST_F(TRVellLocationArchiveTest, DamagedRecordsAreRefused) {
  for (const auto& record : std::vector<std::shared_ptr<const platform::Archivable>>{
           std::make_shared<LocationlessRecord>(), std::make_shared<NullSampleRecord>()}) {
    const auto data = KeyedArchiver::archivedDataWithRootObject(record);
    EXPECT_THROW(KeyedUnarchiver::unarchiveObjectOfClass<TRVellLocation>(data),
                 platform::ArchiveError);
  }
}

}  // namespace
}  // namespace trevalo
