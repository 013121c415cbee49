#include "trevalo/networking/ParserUtils.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>

#include "trevalo/platform/KeyedArchiver.h"
#include "trevalo/platform/KeyedUnarchiver.h"

namespace trevalo {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();

// A JSON value as a short label that is safe in a test name.
std::string label(const Json& value) {
  if (value.is_number_float() && !std::isfinite(value.get<double>())) {
    const double number = value.get<double>();
    return std::isnan(number) ? "nan" : number > 0 ? "inf" : "-inf";
  }
  std::string text = value.dump(-1, ' ', true, Json::error_handler_t::replace);
  for (char& c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+') c = '_';
  }
  return text;
}

// Unique test names for tables of JSON values: the row number and the value.
constexpr auto kRowName = [](const auto& info) {
  std::ostringstream name;
  name << info.index << "_";
  PrintTo(info.param, &name);
  std::string text = name.str();
  for (char& c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return text;
};

// A string literal must never reach the Boolean default by way of a pointer conversion.
template <class Value>
concept TakesLiteralAsDefault = requires(Value value) {
  ParserUtils::boolValueWithDefault(value, "flag");
};
template <class Value>
concept TakesLiteralAsKeyedDefault = requires(Value value) {
  ParserUtils::boolValueForKeyWithDefault(value, "flag", "x");
};
static_assert(!TakesLiteralAsDefault<const Json*>);
static_assert(!TakesLiteralAsDefault<const Json&>);
static_assert(!TakesLiteralAsKeyedDefault<const Json*>);
// Member pointers into a temporary would dangle.
template <class Value>
concept ReturnsMemberOf = requires(Value&& value) {
  ParserUtils::object(std::forward<Value>(value), "a");
};
static_assert(ReturnsMemberOf<const Json&>);
static_assert(!ReturnsMemberOf<Json>);

struct BoolCase {
  Json value;
  bool withFalseDefault;
  bool withTrueDefault;
};

void PrintTo(const BoolCase& c, std::ostream* out) {
  *out << label(c.value);
}

class ParserUtilsBoolTest : public ::testing::TestWithParam<BoolCase> {};

TEST_P(ParserUtilsBoolTest, FollowsTheTruthRules) {
  const BoolCase& c = GetParam();
  EXPECT_EQ(ParserUtils::boolValue(&c.value), c.withFalseDefault) << c.value.dump();
  EXPECT_EQ(ParserUtils::boolValueWithDefault(&c.value, true), c.withTrueDefault) << c.value.dump();

  const Json holder = {{"flag", c.value}};
  EXPECT_EQ(ParserUtils::boolValueForKey(holder, "flag"), c.withFalseDefault) << c.value.dump();
  EXPECT_EQ(ParserUtils::boolValueForKeyWithDefault(holder, "flag", true), c.withTrueDefault)
      << c.value.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParserUtilsBoolTest,
    ::testing::Values(
        BoolCase{true, true, true}, BoolCase{false, false, false}, BoolCase{2, true, true},
        BoolCase{0, false, false}, BoolCase{-0.5, true, true}, BoolCase{0.0, false, false},
        BoolCase{kNaN, true, true}, BoolCase{nullptr, false, true},
        BoolCase{Json::array({1}), false, true}, BoolCase{Json::object(), false, true},
        BoolCase{"YES", true, true}, BoolCase{"Yes", true, true}, BoolCase{"TRUE", true, true},
        BoolCase{"No", false, false}, BoolCase{"FALSE", false, false}, BoolCase{"0", false, false},
        BoolCase{"1", true, true}, BoolCase{"42", true, true}, BoolCase{"Yep", true, true},
        BoolCase{"t", true, true}, BoolCase{"", false, false}, BoolCase{"abc", false, false},
        BoolCase{"00", false, false}, BoolCase{"  +007", true, true}, BoolCase{"-0", false, false},
        BoolCase{"\n yes", true, true}, BoolCase{"nope", false, false}),
    kRowName);

TEST(ParserUtilsBoolKeyTest, MissingPiecesGiveTheDefaultOrFalse) {
  const Json notAnObject = Json::array({true});
  EXPECT_FALSE(ParserUtils::boolValueForKey(notAnObject, "flag"));
  EXPECT_TRUE(ParserUtils::boolValueForKeyWithDefault(notAnObject, "flag", true));
  EXPECT_FALSE(ParserUtils::boolValueForKey(nullptr, "flag"));
  EXPECT_TRUE(ParserUtils::boolValueForKeyWithDefault(nullptr, "flag", true));
  EXPECT_TRUE(ParserUtils::boolValueWithDefault(nullptr, true));

  const Json object = {{"other", true}};
  EXPECT_FALSE(ParserUtils::boolValueForKey(object, "flag"));
  EXPECT_TRUE(ParserUtils::boolValueForKeyWithDefault(object, "flag", true));
  EXPECT_TRUE(ParserUtils::boolValueForKey(object, "other"));
}

TEST(ParserUtilsAccessTest, MembersAreReturnedOnlyForTheirKind) {
  const Json value = {{"null", nullptr}, {"text", "5"},           {"number", 5},
                      {"flag", false},   {"list", Json::array()}, {"map", {{"a", 1}}}};
  const Json* const input = &value;

  EXPECT_EQ(ParserUtils::object(input, "null"), nullptr);
  EXPECT_EQ(ParserUtils::object(input, "missing"), nullptr);
  EXPECT_EQ(ParserUtils::object(input, "flag"), &value["flag"]);

  EXPECT_EQ(ParserUtils::map(input, "map"), &value["map"]);
  EXPECT_EQ(ParserUtils::map(input, "list"), nullptr);
  EXPECT_EQ(ParserUtils::array(input, "list"), &value["list"]);
  EXPECT_EQ(ParserUtils::array(input, "map"), nullptr);

  EXPECT_EQ(ParserUtils::stringValue(input, "text"), &value["text"]);
  EXPECT_EQ(ParserUtils::stringValue(input, "number"), nullptr);
  EXPECT_EQ(ParserUtils::numberValue(input, "number"), &value["number"]);
  EXPECT_EQ(ParserUtils::numberValue(input, "flag"), &value["flag"]);
  EXPECT_EQ(ParserUtils::numberValue(input, "text"), nullptr);
  EXPECT_EQ(ParserUtils::numberValueForObject(value["flag"]), &value["flag"]);
  EXPECT_EQ(ParserUtils::numberValueForObject(value["null"]), nullptr);

  // Chained lookups through missing levels end in nothing instead of failing.
  EXPECT_EQ(ParserUtils::stringValue(ParserUtils::map(input, "missing"), "name"), nullptr);
  for (const Json& notAnObject : {Json(nullptr), Json(5), Json("x"), Json::array({1})}) {
    EXPECT_EQ(ParserUtils::object(notAnObject, "a"), nullptr);
    EXPECT_EQ(ParserUtils::doubleValue(notAnObject, "a"), 0.0);
    EXPECT_EQ(ParserUtils::forceNumber(notAnObject, "a"), std::nullopt);
  }
}

struct IntCase {
  Json member;
  std::int64_t value;  // with the default 99
};

void PrintTo(const IntCase& c, std::ostream* out) {
  *out << label(c.member);
}

class ParserUtilsIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ParserUtilsIntTest, TruncatesSaturatesOrFallsBack) {
  const Json holder = {{"n", GetParam().member}};
  EXPECT_EQ(ParserUtils::intValue(holder, "n", 99), GetParam().value) << holder.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Members, ParserUtilsIntTest,
    ::testing::Values(IntCase{0, 0}, IntCase{"7", 99}, IntCase{nullptr, 99}, IntCase{3.9, 3},
                      IntCase{-3.9, -3}, IntCase{true, 1}, IntCase{kInt64Max, kInt64Max},
                      IntCase{std::numeric_limits<std::uint64_t>::max(), kInt64Max},
                      IntCase{1e300, kInt64Max}, IntCase{-1e300, kInt64Min},
                      IntCase{kInfinity, kInt64Max}, IntCase{-kInfinity, kInt64Min},
                      IntCase{kNaN, 0}, IntCase{9.3e18, kInt64Max}, IntCase{-9.3e18, kInt64Min}),
    kRowName);

TEST(ParserUtilsNumberTest, FloatsAndDoublesReadNumbersOnly) {
  const Json holder = {
      {"big", 1e300}, {"small", -1e300}, {"pi", 3.25}, {"text", "3"}, {"flag", true}};
  EXPECT_EQ(ParserUtils::floatValue(holder, "big"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(ParserUtils::floatValue(holder, "small"), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(ParserUtils::floatValue(holder, "pi"), 3.25f);
  EXPECT_EQ(ParserUtils::doubleValue(holder, "text"), 0.0);
  EXPECT_EQ(ParserUtils::doubleValue(holder, "flag"), 1.0);
  EXPECT_EQ(ParserUtils::intValue(holder, "missing"), 0);
  EXPECT_EQ(ParserUtils::intValue(holder, "missing", -5), -5);
}

TEST(ParserUtilsHexTest, ScansHexadecimalText) {
  EXPECT_EQ(ParserUtils::hexValue("ff"), 255u);
  EXPECT_EQ(ParserUtils::hexValue("0xFF"), 255u);
  EXPECT_EQ(ParserUtils::hexValue(" \t0X1a"), 26u);
  EXPECT_EQ(ParserUtils::hexValue("12g4"), 0x12u);
  EXPECT_EQ(ParserUtils::hexValue("zz"), 0u);
  EXPECT_EQ(ParserUtils::hexValue(""), 0u);
  EXPECT_EQ(ParserUtils::hexValue("0x"), 0u);
  EXPECT_EQ(ParserUtils::hexValue("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParserUtils::hexValue("123456789"), 0xFFFFFFFFu);
  EXPECT_EQ(ParserUtils::hexValue("0000000000ab"), 0xABu);
}

struct ForceCase {
  Json member;
  std::optional<Json> result;
};

void PrintTo(const ForceCase& c, std::ostream* out) {
  *out << label(c.member);
}

class ParserUtilsForceNumberTest : public ::testing::TestWithParam<ForceCase> {};

TEST_P(ParserUtilsForceNumberTest, ReadsNumbersAndLeadingIntegers) {
  const Json holder = {{"n", GetParam().member}};
  EXPECT_EQ(ParserUtils::forceNumber(holder, "n"), GetParam().result) << holder.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Members, ParserUtilsForceNumberTest,
    ::testing::Values(ForceCase{"123abc", Json(123)}, ForceCase{"abc", Json(0)},
                      ForceCase{nullptr, std::nullopt}, ForceCase{Json::array(), std::nullopt},
                      ForceCase{"  -42", Json(-42)}, ForceCase{"+8.9", Json(8)},
                      ForceCase{7.5, Json(7.5)}, ForceCase{"99999999999999999999", Json(kInt64Max)},
                      ForceCase{"-99999999999999999999", Json(kInt64Min)},
                      ForceCase{"-9223372036854775808", Json(kInt64Min)}),
    kRowName);

TEST(ParserUtilsDateTest, MillisecondMembersBecomeInstants) {
  const Json holder = {{"at", 1500000000000}, {"text", "1500000000000"}};
  EXPECT_EQ(ParserUtils::dateFromMilliseconds(holder, "at"), Date(1500000000.0));
  EXPECT_EQ(ParserUtils::dateFromMilliseconds(holder, "at").description(),
            "2017-07-14 02:40:00 +0000");
  EXPECT_EQ(ParserUtils::dateFromMilliseconds(holder, "missing"), Date(0.0));
  EXPECT_EQ(ParserUtils::dateFromMilliseconds(holder, "text"), Date(0.0));
  EXPECT_EQ(ParserUtils::dateDoubleMilliseconds(holder, "at"), 1500000000.0);
  EXPECT_EQ(ParserUtils::dateDoubleMilliseconds(holder, "missing"), 0.0);
}

TEST(ParserUtilsDateTest, ArchivedDatesRoundTripAndNoDateWritesNothing) {
  platform::KeyedArchiver archiver;
  ParserUtils::encodeDate(Date(1500000000.125), archiver, "self.startDate");
  ParserUtils::encodeDate(std::nullopt, archiver, "self.endDate");
  const auto data = archiver.encodedData();

  platform::KeyedUnarchiver unarchiver(data);
  EXPECT_EQ(unarchiver.decodeDouble("self.startDate"), 1500000000.125);
  EXPECT_FALSE(unarchiver.containsValueForKey("self.endDate"));
  EXPECT_EQ(ParserUtils::decodeDate(unarchiver, "self.startDate"), Date(1500000000.125));
  EXPECT_EQ(ParserUtils::decodeDate(unarchiver, "self.endDate"), std::nullopt);
}

struct InsertCase {
  const char* name;
  std::optional<Json> value;
  Json expected;  // the member afterwards; it held "older" before
};

void PrintTo(const InsertCase& c, std::ostream* out) {
  *out << c.name;
}

class ParserUtilsInsertTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(ParserUtilsInsertTest, AppliesTheInsertionRules) {
  Json dictionary = {{"first", 1}, {"key", "older"}};
  ParserUtils::addToDictionary(dictionary, "key", GetParam().value);
  EXPECT_EQ(dictionary["key"], GetParam().expected);
  EXPECT_EQ(dictionary.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParserUtilsInsertTest,
    ::testing::Values(
        InsertCase{"Nothing", std::nullopt, "older"}, InsertCase{"NaN", Json(kNaN), "older"},
        InsertCase{"SpacesAndTab", Json("  abc\t"), "abc"},
        InsertCase{"UnicodeSpaces", Json("\u00A0\u2003abc d\u3000\u202F"), "abc d"},
        InsertCase{"LineBreaksStay", Json("\n abc \r\n"), "\n abc \r\n"},
        InsertCase{"OnlySpaces", Json(" \t "), ""},
        InsertCase{"NonSpaceUnicodeStays", Json("\u00E9t\u00E9\u2028"), "\u00E9t\u00E9\u2028"},
        InsertCase{"MalformedBytesStay", Json(std::string(" \xC2")), std::string("\xC2")},
        InsertCase{"Null", Json(nullptr), nullptr}, InsertCase{"False", Json(false), false},
        InsertCase{"Zero", Json(0), 0}, InsertCase{"Infinity", Json(kInfinity), kInfinity},
        InsertCase{"Array", Json::array({" a "}), Json::array({" a "})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParserUtilsInsertTest, LeavesContainersOfAnotherKindAlone) {
  Json dictionary;
  ParserUtils::addToDictionary(dictionary, "a", 1);
  EXPECT_EQ(dictionary, (Json{{"a", 1}}));

  Json notADictionary = Json::array({1});
  ParserUtils::addToDictionary(notADictionary, "a", 1);
  EXPECT_EQ(notADictionary, Json::array({1}));

  Json list = Json::array();
  ParserUtils::addToArray(list, std::nullopt);
  ParserUtils::addToArray(list, Json(" x "));
  ParserUtils::addToArray(list, Json(nullptr));
  EXPECT_EQ(list, Json::array({" x ", nullptr}));

  Json notAList = "text";
  ParserUtils::addToArray(notAList, Json(1));
  EXPECT_EQ(notAList, "text");
}

}  // namespace
}  // namespace trevalo
