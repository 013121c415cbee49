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

// The record's entry in the archive, as the dump tool shows it.
template <class Record, class Value>
Json archivedFields(const Value& value) {
  const auto data = KeyedArchiver::archivedDataWithRootObject(std::make_shared<Record>(value));
  return KeyedUnarchiver::dumpAsJson(data)["objects"][0];
}

TEST(CMAccelerometerDataCustomTest, ArchivesUnderItsOwnKeysAndReadsBack) {
  const Json fields = archivedFields<CMAccelerometerDataCustom>(kSample);
  EXPECT_EQ(fields, Json::parse(R"({"$class": "CMAccelerometerDataCustom",
                                    "_trAcceleration.x": 0.0123, "_trAcceleration.y": -0.9812,
                                    "_trAcceleration.z": 0.0456, "_trTimeStamp": 35012.45})"));

  const auto data = KeyedArchiver::archivedDataWithRootObject(
      std::make_shared<CMAccelerometerDataCustom>(kSample));
  const auto back = KeyedUnarchiver::unarchiveObjectOfClass<CMAccelerometerDataCustom>(data);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->sample(), kSample);
  EXPECT_EQ(back->acceleration(), kSample.acceleration);
  EXPECT_EQ(back->timestamp(), kSample.timestamp);
}

TEST(CMAccelerometerDataCustomTest, RebuildsFromTheCollectorsJson) {
  const Json json = ExtraLocationInfoCollector::accelerationArrayJson({kSample})[0];
  const CMAccelerometerDataCustom rebuilt(json);
  EXPECT_EQ(rebuilt.acceleration(), kSample.acceleration);
  EXPECT_DOUBLE_EQ(rebuilt.timestamp(), kSample.timestamp);
  EXPECT_EQ(ExtraLocationInfoCollector::accelerationArrayJson({rebuilt.sample()})[0], json);

  // Missing and non-numeric members read as 0; Booleans count as numbers.
  const CMAccelerometerDataCustom loose(
      Json::parse(R"({"accelerationX": "1", "accelerationY": true, "timeStamp": null})"));
  EXPECT_EQ(loose.sample(), (platform::AccelerometerData{{0, 1, 0}, 0}));
}

TEST(CLHeadingCustomTest, ArchivesUnderItsOwnKeysAndReadsBack) {
  const Json fields = archivedFields<CLHeadingCustom>(kHeading);
  EXPECT_EQ(fields, Json::parse(R"({"$class": "CLHeadingCustom", "_trMagneticHeading": 87.5,
                                    "_trTrueHeading": 90.25, "_trHeadingAccuracy": 15.0,
                                    "_trX": -12.5, "_trY": 30.25, "_trZ": -40.0,
                                    "_trTimestamp": {"$d": 1767225612.345}})"));

  const auto data =
      KeyedArchiver::archivedDataWithRootObject(std::make_shared<CLHeadingCustom>(kHeading));
  const auto back = KeyedUnarchiver::unarchiveObjectOfClass<CLHeadingCustom>(data);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->heading(), kHeading);
}

TEST(CLHeadingCustomTest, RebuildsFromTheCollectorsJson) {
  const Json json = ExtraLocationInfoCollector::headingJson(kHeading);
  const CLHeadingCustom rebuilt(json);
  EXPECT_EQ(rebuilt.magneticHeading(), 87.5);
  EXPECT_EQ(rebuilt.trueHeading(), 90.25);
  EXPECT_EQ(rebuilt.headingAccuracy(), 15.0);
  EXPECT_EQ(rebuilt.x(), -12.5);
  EXPECT_EQ(rebuilt.y(), 30.25);
  EXPECT_EQ(rebuilt.z(), -40.0);
  EXPECT_NEAR(rebuilt.timestamp().timeIntervalSince1970(), 1767225612.345, 1e-6);
  EXPECT_EQ(ExtraLocationInfoCollector::headingJson(rebuilt.heading()), json);

  EXPECT_EQ(CLHeadingCustom(Json::parse(R"({"timeStamp": 1500})")).timestamp(), Date(1.5));
  EXPECT_EQ(CLHeadingCustom(Json::object()).heading(), platform::Heading{});
}

}  // namespace
}  // namespace trevalo
