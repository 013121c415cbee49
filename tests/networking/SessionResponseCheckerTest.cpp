#include "trevalo/networking/SessionResponseChecker.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace trevalo {
namespace {

using platform::Bytes;
using platform::HttpResponse;

Bytes bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

HttpResponse status(int code) {
  HttpResponse response;
  response.statusCode = code;
  return response;
}

struct CheckCase {
  const char* name;
  std::optional<int> status;  // nothing: no response at all
  std::optional<std::string> body;
  bool transportError;
  std::optional<std::string> value;  // the parsed value, dumped
  std::optional<std::int64_t> errorCode;
};

class SessionResponseCheckerTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(SessionResponseCheckerTest, GivesAValueOrOneError) {
  const auto& c = GetParam();
  const std::optional<HttpResponse> response =
      c.status ? std::optional(status(*c.status)) : std::nullopt;
  const std::optional<Bytes> data = c.body ? std::optional(bytes(*c.body)) : std::nullopt;
  const Error transport("NSURLErrorDomain", -1001);
  std::optional<Error> error;
  const auto value =
      SessionResponseChecker::checkData(data ? &*data : nullptr, response ? &*response : nullptr,
                                        c.transportError ? &transport : nullptr, &error);
  EXPECT_EQ(value ? std::optional(value->dump()) : std::nullopt, c.value);
  EXPECT_EQ(error ? std::optional(error->code()) : std::nullopt, c.errorCode);
  if (error && c.transportError) {
    EXPECT_EQ(*error, transport);  // unchanged
  }
  if (error && !c.transportError) {
    EXPECT_EQ(error->domain(), "Trevalo");
    EXPECT_EQ(error->localizedFailureReason(), "Unknown server error");
  }
  // Without an out-parameter the result is the same.
  const auto again =
      SessionResponseChecker::checkData(data ? &*data : nullptr, response ? &*response : nullptr,
                                        c.transportError ? &transport : nullptr, nullptr);
  EXPECT_EQ(again.has_value(), value.has_value());
}

const std::string kDeep = std::string(600, '[') + std::string(600, ']');
const std::string kDeepButFine = std::string(500, '[') + std::string(500, ']');
const std::string kBracketsInStrings = R"(["[[[[\"{{{{", {"k": "]]]]"}])";

INSTANTIATE_TEST_SUITE_P(
    Rules, SessionResponseCheckerTest,
    ::testing::Values(
        CheckCase{"Created", 201, R"({"id":7})", false, R"({"id":7})", std::nullopt},
        CheckCase{"NoContentIsAServerError", 204, "", false, std::nullopt, -9992},
        CheckCase{"ServerErrorBodyUnread", 500, R"({"error":"x"})", false, std::nullopt, -9992},
        CheckCase{"NoResponseReadsAsStatusZero", std::nullopt, "{}", false, std::nullopt, -9992},
        CheckCase{"EmptySuccess", 200, "", false, std::nullopt, std::nullopt},
        CheckCase{"MissingBodySuccess", 200, std::nullopt, false, std::nullopt, std::nullopt},
        CheckCase{"NotJson", 200, "ok", false, std::nullopt, -9999},
        CheckCase{"BareString", 200, R"("text")", false, std::nullopt, -9999},
        CheckCase{"BareNumber", 200, "42", false, std::nullopt, -9999},
        CheckCase{"BareLiteral", 201, "null", false, std::nullopt, -9999},
        CheckCase{"EmptyArray", 200, "[]", false, "[]", std::nullopt},
        CheckCase{"Truncated", 200, R"({"a":)", false, std::nullopt, -9999},
        CheckCase{"InvalidUtf8", 200, "[\"\xFF\"]", false, std::nullopt, -9999},
        CheckCase{"TransportErrorWins", 200, "[]", true, std::nullopt, -1001},
        CheckCase{"TooDeep", 200, kDeep, false, std::nullopt, -9999},
        CheckCase{"DeepButWithinLimit", 200, kDeepButFine, false, kDeepButFine, std::nullopt},
        CheckCase{"BracketsInsideStringsDoNotCount", 200, kBracketsInStrings, false,
                  Json::parse(kBracketsInStrings).dump(), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SessionResponseCheckerStringTest, DecodesUpToTheFirstNul) {
  EXPECT_EQ(SessionResponseChecker::stringFromData({}), "");
  EXPECT_EQ(SessionResponseChecker::stringFromData(bytes("caf\xC3\xA9")), "café");
  EXPECT_EQ(SessionResponseChecker::stringFromData(bytes(std::string("ab\0\xFF", 4))), "ab");
  EXPECT_EQ(SessionResponseChecker::stringFromData(bytes(std::string("\0x", 2))), "");
  EXPECT_EQ(SessionResponseChecker::stringFromData(bytes("a\xFF")), std::nullopt);
  EXPECT_EQ(SessionResponseChecker::stringFromData(bytes("\xC3")), std::nullopt);  // cut short
  EXPECT_EQ(SessionResponseChecker::stringFromData(bytes("\xED\xA0\x80")),
            std::nullopt);  // surrogate
}

TEST(SessionResponseCheckerStringTest, ServerErrorIgnoresTheResponse) {
  const auto error = SessionResponseChecker::getErrorRes(nullptr);
  EXPECT_EQ(error.code(), -9992);
  const auto withResponse = status(418);
  EXPECT_EQ(SessionResponseChecker::getErrorRes(&withResponse), error);
}

}  // namespace
}  // namespace trevalo
