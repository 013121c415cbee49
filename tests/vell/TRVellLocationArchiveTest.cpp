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
using Samples = std::vector<std::shared_ptr<TRVellLocation>>;

// A sample with every field set to something other than its default.
std::shared_ptr<TRVellLocation> filledSample(int index) {
  auto sample =
      std::make_shared<TRVellLocation>(Location({48.85 + index * 1e-5, 2.35 - index * 1e-5}, 35.5,
                                                6, 3, 90, 1.4, Date(1767225600.0 + index)));
  for (int i = 0; i < 20; ++i) {
    sample->accelArray.push_back(
        {{0.01 * i, -0.98 + 0.001 * index, 0.05 - 0.002 * i}, 35000.0 + index + 0.05 * i});
  }
  for (int i = 0; i < 5; ++i) {
    sample->headingArray.push_back({.magneticHeading = 80.0 + i,
                                    .trueHeading = 83.25 + i,
                                    .headingAccuracy = 15,
                                    .x = -12.5 + index,
                                    .y = 30.25,
                                    .z = -40.0 - i,
                                    .timestamp = Date(1767225599.125 + index + 0.2 * i)});
  }
  sample->gyroArray.push_back({{0.1, 0.2, 0.3}, 35000.0});
  sample->altitudeArray.push_back({1.5, 35000.0});
  sample->avarageAcceleration = TRVector(0.1, -0.9, 0.05);
  sample->rollingAvarageAcceleration = TRVector(0.1, -0.95, 0.04);
  sample->distance = 12.5 + index;
  sample->bearing = 271.5;
  sample->realBearing = -88.5;
  sample->stdBearing = 3.25;
  sample->realStdBearing = 4.5;
  sample->isIndoor = index % 2 == 1;
  sample->indoorScore = 1.125;
  sample->futureStdBearing = 5.75;
  sample->futureRealStdBearing = 6.25;
  sample->wifiName = index % 3 == 0 ? std::nullopt : std::optional<std::string>("Office");
  sample->calculatedSpeed = 1.3;
  sample->mode = index == 7 ? static_cast<TRMode>(9) : TRModeVisitWalking;
  return sample;
}

void expectArchivedFieldsEqual(const TRVellLocation& back, const TRVellLocation& original) {
  EXPECT_EQ(back.location, original.location);
  EXPECT_EQ(back.accelArray, original.accelArray);
  EXPECT_EQ(back.headingArray, original.headingArray);
  EXPECT_EQ(back.distance, original.distance);
  EXPECT_EQ(back.bearing, original.bearing);
  EXPECT_EQ(back.realBearing, original.realBearing);
  EXPECT_EQ(back.stdBearing, original.stdBearing);
  EXPECT_EQ(back.realStdBearing, original.realStdBearing);
  EXPECT_EQ(back.isIndoor, original.isIndoor);
  EXPECT_EQ(back.indoorScore, original.indoorScore);
  EXPECT_EQ(back.futureStdBearing, original.futureStdBearing);
  EXPECT_EQ(back.futureRealStdBearing, original.futureRealStdBearing);
  EXPECT_EQ(back.wifiName, original.wifiName);
  EXPECT_EQ(back.calculatedSpeed, original.calculatedSpeed);
  EXPECT_EQ(back.mode, original.mode);
}

class TRVellLocationArchiveTest : public testing::PlatformTest {};

TEST_F(TRVellLocationArchiveTest, FileRoundTripKeepsTheKeyedFieldsOnly) {
  const auto original = filledSample(1);
  const auto file = documentsDirectory() / "sample.dat";
  ASSERT_TRUE(KeyedArchiver::archiveRootObject(original, file));
  const auto back = KeyedUnarchiver::unarchiveObjectOfClassWithFile<TRVellLocation>(file);
  ASSERT_TRUE(back);
  expectArchivedFieldsEqual(*back, *original);
  EXPECT_TRUE(back->gyroArray.empty());
  EXPECT_TRUE(back->altitudeArray.empty());
  EXPECT_FALSE(back->avarageAcceleration);
  EXPECT_FALSE(back->rollingAvarageAcceleration);
}

TEST_F(TRVellLocationArchiveTest, OneHundredSamplesWithTheirSensorListsRoundTrip) {
  Samples originals;
  for (int i = 0; i < 100; ++i)
    originals.push_back(filledSample(i));
  // A sample listed twice stays one object.
  originals.push_back(originals[3]);

  KeyedArchiver archiver;
  archiver.encodeObjects(originals, "self.locations");
  const auto data = archiver.encodedData();
  KeyedUnarchiver reader(data);
  const auto back = reader.decodeArrayOfObjectsOfClass<TRVellLocation>("self.locations");
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), originals.size());
  for (std::size_t i = 0; i < originals.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE((*back)[i]);
    expectArchivedFieldsEqual(*(*back)[i], *originals[i]);
  }
  EXPECT_EQ(back->back(), (*back)[3]);
  EXPECT_EQ(back->at(7)->mode, 9);
}

TEST_F(TRVellLocationArchiveTest, WritesTheDocumentedKeysInOrder) {
  const auto sample = filledSample(2);
  sample->accelArray.resize(1);
  sample->headingArray.resize(1);
  const Json dump = KeyedUnarchiver::dumpAsJson(KeyedArchiver::archivedDataWithRootObject(sample));
  const Json& location = dump["objects"][dump["top"]["root"]["$ref"].get<std::size_t>()];
  std::vector<std::string> keys;
  for (const auto& [key, value] : location.items())
    keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "$class", "self.location", "self.accelArray", "self.headingArray",
                      "self.distance", "self.bearing", "self.realBearing", "self.stdBearing",
                      "self.realStdBearing", "self.isIndoor", "self.indoorScore",
                      "self.futureStdBearing", "self.futureRealStdBearing", "self.wifiName",
                      "self.calculatedSpeed", "self.mode"}));
  EXPECT_EQ(location["$class"], "TRVellLocation");
  EXPECT_EQ(location["self.mode"], TRModeVisitWalking);
  EXPECT_TRUE(location["self.mode"].is_number_integer());
  std::vector<std::string> classes;
  for (const auto& object : dump["objects"])
    classes.push_back(object["$class"]);
  EXPECT_EQ(classes, (std::vector<std::string>{"CMAccelerometerDataCustom", "CLHeadingCustom",
                                               "TRVellLocation"}))
      << "each sample is a record of its own";
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
