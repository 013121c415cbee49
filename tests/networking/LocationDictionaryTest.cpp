#include "trevalo/networking/LocationDictionary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>

namespace trevalo {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Expected {
  double latitude, longitude, horizontalAccuracy, altitude, verticalAccuracy, course, speed,
      timestamp;
};

void expectLocation(const Location& location, const Expected& e) {
  EXPECT_EQ(location.coordinate().latitude, e.latitude);
  EXPECT_EQ(location.coordinate().longitude, e.longitude);
  EXPECT_EQ(location.horizontalAccuracy(), e.horizontalAccuracy);
  EXPECT_EQ(location.altitude(), e.altitude);
  EXPECT_EQ(location.verticalAccuracy(), e.verticalAccuracy);
  EXPECT_EQ(location.course(), e.course);
  EXPECT_EQ(location.speed(), e.speed);
  EXPECT_EQ(location.timestamp().timeIntervalSince1970(), e.timestamp);
}

constexpr Expected kEmpty{0, 0, -1, 0, -1, 0, 0, 0};

struct ReadCase {
  const char* name;
  const char* json;
  Expected expected;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
  *out << c.name;
}

class LocationDictionaryReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(LocationDictionaryReadTest, FollowsTheReadingRules) {
  const Json dictionary = Json::parse(GetParam().json);
  // The flag never changes how the timestamp is read.
  expectLocation(LocationDictionary::initWithDictionary(dictionary, false), GetParam().expected);
  expectLocation(LocationDictionary::initWithDictionary(dictionary, true), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dictionaries, LocationDictionaryReadTest,
    ::testing::Values(
        ReadCase{"Full",
                 R"({"latitude": 48.85, "longitude": 2.35, "horizontalAccuracy": 5,
                     "altitude": 35, "verticalAccuracy": 3, "course": 90, "speed": 1.5,
                     "timestamp": 1500000000.25})",
                 {48.85, 2.35, 5, 35, 3, 90, 1.5, 1500000000.25}},
        ReadCase{"Empty", "{}", kEmpty},
        ReadCase{"LatitudeWithoutLongitude", R"({"latitude": 48.85, "horizontalAccuracy": 5})",
                 kEmpty},
        ReadCase{"CoordinateWithoutAccuracy",
                 R"({"latitude": 1, "longitude": 2})",
                 {1, 2, 0, 0, -1, 0, 0, 0}},
        ReadCase{"StringsReadFromTheirStart",
                 R"({"latitude": " 48.85abc", "longitude": "-2.5e1", "horizontalAccuracy": "x",
                     "altitude": "12.", "verticalAccuracy": "+4"})",
                 {48.85, -25, 0, 12, 4, 0, 0, 0}},
        ReadCase{"NotNumbersInStrings",
                 R"({"latitude": "nan", "longitude": "0x10", "altitude": "inf"})",
                 {0, 0, 0, 0, -1, 0, 0, 0}},
        ReadCase{"NullArrayObjectAreAbsent",
                 R"({"latitude": null, "longitude": 2, "altitude": [1],
                     "verticalAccuracy": 3})",
                 kEmpty},
        ReadCase{"ObjectLongitudeIsAbsent", R"({"latitude": 1, "longitude": {"v": 2}})", kEmpty},
        ReadCase{"AltitudeWithoutVerticalAccuracy",
                 R"({"altitude": -10})",
                 {0, 0, -1, -10, -1, 0, 0, 0}},
        ReadCase{"TimestampCourseSpeedTakeNumbersOnly",
                 R"({"timestamp": "1500000000", "course": "90", "speed": null})", kEmpty},
        ReadCase{"OverflowingTextIsInfinite",
                 R"({"latitude": "1e999", "longitude": "-1e-999"})",
                 {std::numeric_limits<double>::infinity(), -0.0, 0, 0, -1, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LocationDictionaryJsonTest, TextThatIsNotADictionaryReadsAsEmpty) {
  for (const char* text : {"", "not json", "{\"latitude\": 1,", "5", "[1, 2]", "null",
                           "{\"latitude\": 1e400, \"longitude\": 2}"}) {
    SCOPED_TRACE(text);
    expectLocation(LocationDictionary::initWithJSON(text), kEmpty);
  }
  expectLocation(LocationDictionary::initWithDictionary(Json::array({1, 2}), false), kEmpty);
}

TEST(LocationDictionaryRoundTripTest, WritingThenReadingGivesTheSameLocation) {
  const Location locations[] = {
      Location(Coordinate{48.858370123456789, 2.294481987654321}, 35.123456789, 4.9, 3.1, 271.25,
               1.42, Date(1767225600.123456)),
      Location(Coordinate{-33.9, 151.2}, -12.5, -1, -1, -1, -1, Date(-86400.5)),
  };
  for (const Location& location : locations) {
    SCOPED_TRACE(location.description());
    const Json dictionary = LocationDictionary::dictionaryRepresentation(location);
    EXPECT_EQ(dictionary.size(), 8u);
    EXPECT_EQ(LocationDictionary::initWithDictionary(dictionary, false), location);

    const auto text = LocationDictionary::JSONString(location);
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find('\n'), std::string::npos);
    EXPECT_EQ(LocationDictionary::initWithJSON(*text), location);
  }
}

TEST(LocationDictionaryWriteTest, LeavesOutNaNAndRefusesInfinity) {
  const Location unknownSpeed(Coordinate{1, 2}, 0, 5, -1, -1, kNaN, Date(10));
  const Json dictionary = LocationDictionary::dictionaryRepresentation(unknownSpeed);
  EXPECT_FALSE(dictionary.contains("speed"));
  EXPECT_EQ(dictionary.size(), 7u);
  ASSERT_TRUE(LocationDictionary::JSONString(unknownSpeed).has_value());
  EXPECT_EQ(Json::parse(*LocationDictionary::JSONString(unknownSpeed)), dictionary);

  const Location infiniteAltitude(Coordinate{1, 2}, std::numeric_limits<double>::infinity(), 5, -1,
                                  -1, -1, Date(10));
  EXPECT_EQ(LocationDictionary::JSONString(infiniteAltitude), std::nullopt);
}

}  // namespace
}  // namespace trevalo
