#include "trevalo/networking/ParserUtils.h"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "trevalo/platform/KeyedArchiver.h"
#include "trevalo/platform/KeyedUnarchiver.h"

namespace trevalo {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();

// A string literal must never reach the Boolean default by way of a pointer conversion, and
// member pointers into a temporary would dangle.
template <class Value>
concept TakesLiteralAsDefault = requires(Value value) {
  ParserUtils::boolValueWithDefault(value, "flag");
};
template <class Value>
concept TakesLiteralAsKeyedDefault = requires(Value value) {
  ParserUtils::boolValueForKeyWithDefault(value, "flag", "x");
};
template <class Value>
concept ReturnsMemberOf = requires(Value&& value) {
  ParserUtils::object(std::forward<Value>(value), "a");
};
static_assert(!TakesLiteralAsDefault<const Json*> && !TakesLiteralAsDefault<const Json&>);
static_assert(!TakesLiteralAsKeyedDefault<const Json*>);
static_assert(ReturnsMemberOf<const Json&> && !ReturnsMemberOf<Json>);

TEST(ParserUtilsTest, BooleansFollowTheTruthRules) {
  const auto expectTruth = [](const Json& value, bool withFalseDefault, bool withTrueDefault) {
    SCOPED_TRACE(value.dump());
    EXPECT_EQ(ParserUtils::boolValue(&value), withFalseDefault);
    EXPECT_EQ(ParserUtils::boolValueWithDefault(&value, true), withTrueDefault);
    const Json holder = {{"flag", value}};
    EXPECT_EQ(ParserUtils::boolValueForKey(holder, "flag"), withFalseDefault);
    EXPECT_EQ(ParserUtils::boolValueForKeyWithDefault(holder, "flag", true), withTrueDefault);
  };
  const Json truthy[] = {true, 2, -0.5, kNaN, "YES", "42", "Yep", "t", "  +007", "\n yes"};
  const Json falsy[] = {false, 0, 0.0, "No", "FALSE", "0", "", "abc", "00", "-0"};
  const Json neither[] = {nullptr, Json::array({1}), Json::object()};  // these give the default
  for (const Json& value : truthy)
    expectTruth(value, true, true);
  for (const Json& value : falsy)
    expectTruth(value, false, false);
  for (const Json& value : neither)
    expectTruth(value, false, true);

  // Without an object or the member, the default (or false) stands.
  const Json list = Json::array({true});
  const Json other = {{"other", true}};
  for (const Json* missing : {static_cast<const Json*>(nullptr), &list, &other}) {
    EXPECT_FALSE(ParserUtils::boolValueForKey(missing, "flag"));
    EXPECT_TRUE(ParserUtils::boolValueForKeyWithDefault(missing, "flag", true));
  }
  EXPECT_TRUE(ParserUtils::boolValueWithDefault(nullptr, true));
}

TEST(ParserUtilsTest, MembersAreReturnedOnlyForTheirKind) {
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

TEST(ParserUtilsTest, NumbersTruncateSaturateOrFallBack) {
  const struct {
    Json member;
    std::int64_t value;  // with the default 99
  } cases[] = {{0, 0},
               {"7", 99},
               {nullptr, 99},
               {3.9, 3},
               {-3.9, -3},
               {true, 1},
               {kInt64Max, kInt64Max},
               {std::numeric_limits<std::uint64_t>::max(), kInt64Max},
               {1e300, kInt64Max},
               {-kInfinity, kInt64Min},
               {kNaN, 0},
               {9.3e18, kInt64Max},
               {-9.3e18, kInt64Min}};
  for (const auto& c : cases) {
    const Json holder = {{"n", c.member}};
    EXPECT_EQ(ParserUtils::intValue(holder, "n", 99), c.value) << holder.dump();
  }
  EXPECT_EQ(ParserUtils::intValue(Json::object(), "n"), 0);

  const Json holder = {{"big", 1e300}, {"small", -1e300}, {"text", "3"}, {"flag", true}};
  EXPECT_EQ(ParserUtils::floatValue(holder, "big"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(ParserUtils::floatValue(holder, "small"), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(ParserUtils::doubleValue(holder, "text"), 0.0);
  EXPECT_EQ(ParserUtils::doubleValue(holder, "flag"), 1.0);
}

TEST(ParserUtilsTest, TextIsScannedForNumbers) {
  const std::pair<const char*, std::uint64_t> hex[] = {{"ff", 255u},
                                                       {"0xFF", 255u},
                                                       {" \t0X1a", 26u},
                                                       {"12g4", 0x12u},
                                                       {"zz", 0u},
                                                       {"", 0u},
                                                       {"0x", 0u},
                                                       {"FFFFFFFF", 0xFFFFFFFFu},
                                                       {"123456789", 0xFFFFFFFFu},
                                                       {"0000000000ab", 0xABu}};
  for (const auto& [text, value] : hex) {
    EXPECT_EQ(ParserUtils::hexValue(text), value) << text;
  }

  const std::pair<Json, std::optional<Json>> forced[] = {{"123abc", Json(123)},
                                                         {"abc", Json(0)},
                                                         {nullptr, std::nullopt},
                                                         {Json::array(), std::nullopt},
                                                         {"  -42", Json(-42)},
                                                         {"+8.9", Json(8)},
                                                         {7.5, Json(7.5)},
                                                         {"99999999999999999999", Json(kInt64Max)},
                                                         {"-99999999999999999999", Json(kInt64Min)},
                                                         {"-9223372036854775808", Json(kInt64Min)}};
  for (const auto& [member, result] : forced) {
    const Json holder = {{"n", member}};
    EXPECT_EQ(ParserUtils::forceNumber(holder, "n"), result) << holder.dump();
  }
}

TEST(ParserUtilsTest, MillisecondMembersBecomeInstantsAndArchivedDatesRoundTrip) {
  const Json holder = {{"at", 1500000000000}, {"text", "1500000000000"}};
  EXPECT_EQ(ParserUtils::dateFromMilliseconds(holder, "at"), Date(1500000000.0));
  EXPECT_EQ(ParserUtils::dateFromMilliseconds(holder, "missing"), Date(0.0));
  EXPECT_EQ(ParserUtils::dateFromMilliseconds(holder, "text"), Date(0.0));
  EXPECT_EQ(ParserUtils::dateDoubleMilliseconds(holder, "at"), 1500000000.0);

  platform::KeyedArchiver archiver;
  ParserUtils::encodeDate(Date(1500000000.125), archiver, "self.startDate");
  ParserUtils::encodeDate(std::nullopt, archiver, "self.endDate");
  platform::KeyedUnarchiver unarchiver(archiver.encodedData());
  EXPECT_EQ(unarchiver.decodeDouble("self.startDate"), 1500000000.125);
  EXPECT_FALSE(unarchiver.containsValueForKey("self.endDate"));
  EXPECT_EQ(ParserUtils::decodeDate(unarchiver, "self.startDate"), Date(1500000000.125));
  EXPECT_EQ(ParserUtils::decodeDate(unarchiver, "self.endDate"), std::nullopt);
}

TEST(ParserUtilsTest, InsertionTrimsStringsAndKeepsTheOlderValueForNothingOrNaN) {
  const struct {
    std::optional<Json> value;
    Json expected;  // the member afterwards; it held "older" before
  } cases[] = {{std::nullopt, "older"},
               {Json(kNaN), "older"},
               {Json("  abc\t"), "abc"},
               {Json("\u00A0\u2003abc d\u3000\u202F"), "abc d"},
               {Json("\n abc \r\n"), "\n abc \r\n"},  // line breaks stay
               {Json(" \t "), ""},
               {Json("\u00E9t\u00E9\u2028"), "\u00E9t\u00E9\u2028"},
               {Json(std::string(" \xC2")), std::string("\xC2")},  // malformed bytes stay
               {Json(nullptr), nullptr},
               {Json(kInfinity), kInfinity},
               {Json::array({" a "}), Json::array({" a "})}};
  for (const auto& c : cases) {
    Json dictionary = {{"first", 1}, {"key", "older"}};
    ParserUtils::addToDictionary(dictionary, "key", c.value);
    EXPECT_EQ(dictionary, (Json{{"first", 1}, {"key", c.expected}}))
        << (c.value ? c.value->dump(-1, ' ', false, Json::error_handler_t::replace) : "nothing");
  }
}

TEST(ParserUtilsTest, InsertionLeavesContainersOfAnotherKindAlone) {
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
