#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "networking/SessionResponseChecker.h"
#include "networking/UrlEncoding.h"

// What goes on the wire: encodings in URLs, and how answers are checked.
namespace trevalo {
namespace {

TEST(SessionResponseCheckerTest, GivesAValueOrOneError) {
  const std::string deep = std::string(600, '[') + std::string(600, ']');
  const std::string deepButFine = std::string(500, '[') + std::string(500, ']');
  const std::string bracketsInStrings = R"(["[[[[\"{{{{",{"k":"]]]]"}])";
  const struct {
    int status;
    std::string body;
    bool transportError;
    std::optional<std::string> value;  // the parsed value, dumped
    std::optional<std::int64_t> errorCode;
  } cases[] = {{201, R"({"id":7})", false, R"({"id":7})", std::nullopt},
               {200, R"({"id":7})", false, R"({"id":7})", std::nullopt},
               // Only 200 and 201 are answers; every other status is the server's error.
               {204, "", false, std::nullopt, -9992},
               {202, R"({"id":7})", false, std::nullopt, -9992},
               {199, R"({"id":7})", false, std::nullopt, -9992},
               {500, R"({"error":"x"})", false, std::nullopt, -9992},  // the body is not read
               {200, "", false, std::nullopt, std::nullopt},
               {200, R"("text")", false, std::nullopt, -9999},
               {200, "\xff\xfe{{ garbage", false, std::nullopt, -9999},
               {200, "[]", true, std::nullopt, -1001},  // the transport's error wins
               {200, deep, false, std::nullopt, -9999},
               {200, deepButFine, false, deepButFine, std::nullopt},
               {200, bracketsInStrings, false, bracketsInStrings, std::nullopt}};
  const Error transport("NSURLErrorDomain", -1001);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + " " + c.body.substr(0, 20));
    platform::HttpResponse response;
    response.statusCode = c.status;
    const platform::Bytes data(c.body.begin(), c.body.end());
    std::optional<Error> error;
    const auto value = SessionResponseChecker::checkData(
        &data, &response, c.transportError ? &transport : nullptr, &error);
    EXPECT_EQ(value ? std::optional(value->dump()) : std::nullopt, c.value);
    EXPECT_EQ(error ? std::optional(error->code()) : std::nullopt, c.errorCode);
  }
}

TEST(UrlEncodingTest, EveryByteOutsideAUrlQueryIsEncodedAndNothingElse) {
  const std::string allowed =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~!$&'()*+,;=:@/?";
  for (int byte = 0; byte < 256; ++byte) {
    const std::string text(1, static_cast<char>(byte));
    const bool kept = allowed.find(static_cast<char>(byte)) != std::string::npos;
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
    EXPECT_EQ(UrlEncoding::percentEncodedForQuery(text), kept ? text : escaped) << byte;
  }
}

}  // namespace
}  // namespace trevalo
