#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "trevalo/platform/KeyedArchiver.h"
#include "trevalo/platform/KeyedUnarchiver.h"
#include "trevalo/vell/CLHeadingCustom.h"
#include "trevalo/vell/CMAccelerometerDataCustom.h"
#include "trevalo/vell/ExtraLocationInfoCollector.h"

namespace trevalo {
namespace {

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

const platform::Heading kHeading{.magneticHeading = 87.5,
                                 .trueHeading = 90.25,
                                 .headingAccuracy = 15,
                                 .x = -12.5,
                                 .y = 30.25,
                                 .z = -40,
                                 .timestamp = Date(1767225612.345)};
const platform::AccelerometerData kSample{{0.0123, -0.9812, 0.0456}, 35012.45};

// The record's entry in the archive, as the dump tool shows it. Reading back is covered by the
// enriched location's archive tests, which hold lists of both records.
template <class Record, class Value>
Json archivedFields(const Value& value) {
  const auto data = KeyedArchiver::archivedDataWithRootObject(std::make_shared<Record>(value));
  const Json dump = KeyedUnarchiver::dumpAsJson(data);
  return dump["objects"][dump["top"]["root"]["$ref"].get<std::size_t>()];
}

TEST(SensorSampleRecordTest, ArchiveKeysAndKinds) {
  EXPECT_EQ(archivedFields<CMAccelerometerDataCustom>(kSample),
            Json::parse(R"({"$class": "CMAccelerometerDataCustom",
                            "_trAcceleration.x": 0.0123, "_trAcceleration.y": -0.9812,
                            "_trAcceleration.z": 0.0456, "_trTimeStamp": 35012.45})"));
  EXPECT_EQ(archivedFields<CLHeadingCustom>(kHeading),
            Json::parse(R"({"$class": "CLHeadingCustom", "_trMagneticHeading": 87.5,
                            "_trTrueHeading": 90.25, "_trHeadingAccuracy": 15.0,
                            "_trX": -12.5, "_trY": 30.25, "_trZ": -40.0,
                            "_trTimestamp": {"$date": 1767225612.345}})"));
}

TEST(SensorSampleRecordTest, RebuiltFromJsonTheyWriteTheSameJsonAgain) {
  const Json accelerationJson = ExtraLocationInfoCollector::accelerationArrayJson({kSample})[0];
  const CMAccelerometerDataCustom acceleration(accelerationJson);
  EXPECT_EQ(acceleration.acceleration(), kSample.acceleration);
  EXPECT_DOUBLE_EQ(acceleration.timestamp(), kSample.timestamp);
  EXPECT_EQ(ExtraLocationInfoCollector::accelerationArrayJson({acceleration.sample()})[0],
            accelerationJson);

  const Json headingJson = ExtraLocationInfoCollector::headingJson(kHeading);
  const CLHeadingCustom heading(headingJson);
  EXPECT_NEAR(heading.timestamp().timeIntervalSince1970(), 1767225612.345, 1e-6);
  EXPECT_EQ(ExtraLocationInfoCollector::headingJson(heading.heading()), headingJson);
  EXPECT_EQ(CLHeadingCustom(Json::parse(R"({"timeStamp": 1500})")).timestamp(), Date(1.5));
}

TEST(SensorSampleRecordTest, MissingAndNonNumericMembersReadAsZero) {
  const CMAccelerometerDataCustom loose(
      Json::parse(R"({"accelerationX": "1", "accelerationY": true, "timeStamp": null})"));
  EXPECT_EQ(loose.sample(), (platform::AccelerometerData{{0, 1, 0}, 0}));
  EXPECT_EQ(CLHeadingCustom(Json::parse("[]")).heading(), platform::Heading{});
}

}  // namespace
}  // namespace trevalo
