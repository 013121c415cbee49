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

TEST(SessionResponseCheckerTest, GivesAValueOrOneError) {
  const std::string deep = std::string(600, '[') + std::string(600, ']');
  const std::string deepButFine = std::string(500, '[') + std::string(500, ']');
  const std::string bracketsInStrings = R"(["[[[[\"{{{{", {"k": "]]]]"}])";
  const struct {
    std::optional<int> status;  // nothing: no response at all
    std::optional<std::string> body;
    bool transportError;
    std::optional<std::string> value;  // the parsed value, dumped
    std::optional<std::int64_t> errorCode;
  } cases[] = {
      {201, R"({"id":7})", false, R"({"id":7})", std::nullopt},
      {204, "", false, std::nullopt, -9992},
      {500, R"({"error":"x"})", false, std::nullopt, -9992},  // the body is not read
      {std::nullopt, "{}", false, std::nullopt, -9992},       // no response reads as status 0
      {200, "", false, std::nullopt, std::nullopt},
      {200, std::nullopt, false, std::nullopt, std::nullopt},
      {200, "ok", false, std::nullopt, -9999},
      {200, R"("text")", false, std::nullopt, -9999},
      {201, "null", false, std::nullopt, -9999},
      {200, "[]", false, "[]", std::nullopt},
      {200, "[\"\xFF\"]", false, std::nullopt, -9999},
      {200, "[]", true, std::nullopt, -1001},  // the transport's error wins
      {200, deep, false, std::nullopt, -9999},
      {200, deepButFine, false, deepButFine, std::nullopt},
      {200, bracketsInStrings, false, Json::parse(bracketsInStrings).dump(), std::nullopt}};
  const Error transport("NSURLErrorDomain", -1001);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status.value_or(0));
    SCOPED_TRACE(c.body.value_or("<none>").substr(0, 20));
    const std::optional<HttpResponse> response =
        c.status ? std::optional(status(*c.status)) : std::nullopt;
    const std::optional<Bytes> data = c.body ? std::optional(bytes(*c.body)) : std::nullopt;
    const auto check = [&](std::optional<Error>* error) {
      return SessionResponseChecker::checkData(data ? &*data : nullptr,
                                               response ? &*response : nullptr,
                                               c.transportError ? &transport : nullptr, error);
    };
    std::optional<Error> error;
    const auto value = check(&error);
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
    EXPECT_EQ(check(nullptr).has_value(), value.has_value());
  }
}

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
