#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "json/LocationDictionary.h"
#include "json/ParserUtils.h"

namespace trevalo {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr auto kUint64Max = std::numeric_limits<std::uint64_t>::max();

TEST(ParserUtilsTest, NumbersTruncateSaturateOrFallBack) {
  const std::pair<Json, std::int64_t> integers[] = {
      {-3.9, -3}, {kUint64Max, kInt64Max}, {1e300, kInt64Max}, {-kInfinity, kInt64Min}, {kNaN, 0}};
  for (const auto& [member, value] : integers) {
    EXPECT_EQ(ParserUtils::intValue(Json{{"n", member}}, "n", 99), value) << member.dump();
  }
  const std::pair<Json, std::optional<Json>> forced[] = {
      {"123abc", Json(123)}, {"-99999999999999999999", Json(kInt64Min)}, {nullptr, std::nullopt}};
  for (const auto& [member, result] : forced) {
    EXPECT_EQ(ParserUtils::forceNumber(Json{{"n", member}}, "n"), result) << member.dump();
  }
}

TEST(ParserUtilsTest, InsertionTrimsStringsAndKeepsTheOlderValueForNothingOrNaN) {
  const std::pair<std::optional<Json>, Json> cases[] = {
      // the value inserted, and the member afterwards; it held "older" before
      {std::nullopt, "older"},
      {Json(kNaN), "older"},
      {Json("\u00A0\u2003abc d\t\u202F"), "abc d"},
      {Json("\n abc \r\n"), "\n abc \r\n"}};  // line breaks stay
  for (const auto& [value, expected] : cases) {
    Json dictionary = {{"first", 1}, {"key", "older"}};
    ParserUtils::addToDictionary(dictionary, "key", value);
    EXPECT_EQ(dictionary, (Json{{"first", 1}, {"key", expected}})) << expected.dump();
  }
  Json notADictionary = Json::array({1});
  ParserUtils::addToDictionary(notADictionary, "a", 1);
  EXPECT_EQ(notADictionary, Json::array({1}));
}

// Latitude, longitude, altitude, horizontal and vertical accuracy, course, speed, timestamp.
Location fix(double lat, double lng, double alt, double h, double v, double course, double speed,
             double timestamp = 0) {
  return Location({lat, lng}, alt, h, v, course, speed, Date(timestamp));
}

const Location kEmpty = fix(0, 0, 0, -1, -1, 0, 0);

TEST(LocationDictionaryTest, ReadingFollowsTheRulesWhateverTheFlag) {
  const std::pair<const char*, Location> cases[] = {
      {R"({"latitude": 1, "longitude": 2})", fix(1, 2, 0, 0, -1, 0, 0)},
      // Strings are read from their start, as decimals only.
      {R"({"latitude": " 48.85abc", "longitude": "-2.5e1", "horizontalAccuracy": "x",
           "altitude": "12.", "verticalAccuracy": "+4"})",
       fix(48.85, -25, 12, 0, 4, 0, 0)},
      {R"({"latitude": "nan", "longitude": "0x10", "altitude": "inf"})", fix(0, 0, 0, 0, -1, 0, 0)},
      // Null, arrays and objects count as absent; the timestamp takes numbers only.
      {R"({"latitude": null, "longitude": 2, "altitude": [1], "timestamp": "15"})", kEmpty}};
  for (const auto& [text, expected] : cases) {
    const Json dictionary = Json::parse(text);
    EXPECT_EQ(LocationDictionary::initWithDictionary(dictionary, false), expected) << text;
    EXPECT_EQ(LocationDictionary::initWithDictionary(dictionary, true), expected) << text;
  }
  for (const char* text : {"not json", "5", "[1, 2]", "{\"latitude\": 1e400, \"longitude\": 2}"}) {
    EXPECT_EQ(LocationDictionary::initWithJSON(text), kEmpty) << text;
  }
}

TEST(LocationDictionaryTest, WritingThenReadingGivesTheSameLocationOrNothing) {
  const Location location =
      fix(48.858370123456789, 2.294481987654321, 35.123456789, 4.9, 3.1, 271.25, 1.42, 1767225.5);
  EXPECT_EQ(LocationDictionary::initWithJSON(*LocationDictionary::JSONString(location)), location);

  // An unknown value is left out; an infinite one would read back as another location.
  EXPECT_FALSE(LocationDictionary::dictionaryRepresentation(fix(1, 2, 0, 5, -1, -1, kNaN))
                   .contains("speed"));
  EXPECT_EQ(LocationDictionary::JSONString(fix(1, 2, kInfinity, 5, -1, -1, -1)), std::nullopt);
}

}  // namespace
}  // namespace trevalo
