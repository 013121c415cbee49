#include "trevalo/networking/LocationDictionary.h"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>

namespace trevalo::platform {
// Every field, so that a failed comparison shows which one differs.
void PrintTo(const Location& l, std::ostream* out) {
  *out << l.coordinate().latitude << "," << l.coordinate().longitude << " alt " << l.altitude()
       << " h " << l.horizontalAccuracy() << " v " << l.verticalAccuracy() << " course "
       << l.course() << " speed " << l.speed() << " @ " << l.timestamp().timeIntervalSince1970();
}
}  // namespace trevalo::platform

namespace trevalo {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Latitude, longitude, altitude, horizontal and vertical accuracy, course, speed, timestamp.
Location fix(double lat, double lng, double alt, double h, double v, double course, double speed,
             double timestamp = 0) {
  return Location({lat, lng}, alt, h, v, course, speed, Date(timestamp));
}

const Location kEmpty = fix(0, 0, 0, -1, -1, 0, 0);

TEST(LocationDictionaryTest, ReadingFollowsTheRulesWhateverTheFlag) {
  const std::pair<const char*, Location> cases[] = {
      {R"({"latitude": 48.85, "longitude": 2.35, "horizontalAccuracy": 5, "altitude": 35,
           "verticalAccuracy": 3, "course": 90, "speed": 1.5, "timestamp": 1500000000.25})",
       fix(48.85, 2.35, 35, 5, 3, 90, 1.5, 1500000000.25)},
      {"{}", kEmpty},
      {R"({"latitude": 48.85, "horizontalAccuracy": 5})", kEmpty},
      {R"({"latitude": 1, "longitude": 2})", fix(1, 2, 0, 0, -1, 0, 0)},
      // Strings are read from their start, as decimals only.
      {R"({"latitude": " 48.85abc", "longitude": "-2.5e1", "horizontalAccuracy": "x",
           "altitude": "12.", "verticalAccuracy": "+4"})",
       fix(48.85, -25, 12, 0, 4, 0, 0)},
      {R"({"latitude": "nan", "longitude": "0x10", "altitude": "inf"})", fix(0, 0, 0, 0, -1, 0, 0)},
      {R"({"latitude": "1e999", "longitude": "-1e-999"})", fix(kInfinity, -0.0, 0, 0, -1, 0, 0)},
      // Null, arrays and objects count as absent.
      {R"({"latitude": null, "longitude": 2, "altitude": [1], "verticalAccuracy": 3})", kEmpty},
      {R"({"latitude": 1, "longitude": {"v": 2}})", kEmpty},
      {R"({"altitude": -10})", fix(0, 0, -10, -1, -1, 0, 0)},
      // The timestamp, course and speed take numbers only.
      {R"({"timestamp": "1500000000", "course": "90", "speed": null})", kEmpty}};
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const Json dictionary = Json::parse(text);
    EXPECT_EQ(LocationDictionary::initWithDictionary(dictionary, false), expected);
    EXPECT_EQ(LocationDictionary::initWithDictionary(dictionary, true), expected);
  }
}

TEST(LocationDictionaryTest, TextThatIsNotADictionaryReadsAsEmpty) {
  for (const char* text : {"", "not json", "{\"latitude\": 1,", "5", "[1, 2]", "null",
                           "{\"latitude\": 1e400, \"longitude\": 2}"}) {
    EXPECT_EQ(LocationDictionary::initWithJSON(text), kEmpty) << text;
  }
  EXPECT_EQ(LocationDictionary::initWithDictionary(Json::array({1, 2}), false), kEmpty);
}

TEST(LocationDictionaryTest, WritingThenReadingGivesTheSameLocation) {
  for (const Location& location : {fix(48.858370123456789, 2.294481987654321, 35.123456789, 4.9,
                                       3.1, 271.25, 1.42, 1767225600.123456),
                                   fix(-33.9, 151.2, -12.5, -1, -1, -1, -1, -86400.5)}) {
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

TEST(LocationDictionaryTest, WritingLeavesOutNaNAndRefusesInfinity) {
  const Location unknownSpeed = fix(1, 2, 0, 5, -1, -1, kNaN, 10);
  const Json dictionary = LocationDictionary::dictionaryRepresentation(unknownSpeed);
  EXPECT_FALSE(dictionary.contains("speed"));
  EXPECT_EQ(dictionary.size(), 7u);
  ASSERT_TRUE(LocationDictionary::JSONString(unknownSpeed).has_value());
  EXPECT_EQ(Json::parse(*LocationDictionary::JSONString(unknownSpeed)), dictionary);

  // It would read back as another location.
  EXPECT_EQ(LocationDictionary::JSONString(fix(1, 2, kInfinity, 5, -1, -1, -1, 10)), std::nullopt);
}

}  // namespace
}  // namespace trevalo
