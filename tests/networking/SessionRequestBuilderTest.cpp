#include "trevalo/networking/SessionRequestBuilder.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

using platform::Bytes;
using platform::HttpRequest;

std::string bodyText(const HttpRequest& request) {
  return request.body ? std::string(request.body->begin(), request.body->end()) : "<none>";
}

TEST(SessionRequestBuilderTest, PlainRequestsCarryUrlMethodAndTimeoutOnly) {
  const auto builder = SessionRequestBuilder::instance();
  EXPECT_EQ(builder, SessionRequestBuilder::instance());
  const auto request = builder->getRequestWithUrl("https://h/v1/x?a=b", "DELETE");
  EXPECT_EQ(request.url, "https://h/v1/x?a=b");
  EXPECT_EQ(request.httpMethod, "DELETE");
  EXPECT_EQ(request.timeoutInterval, 40.0);
  EXPECT_FALSE(request.body);
  EXPECT_TRUE(request.headers.empty());

  // Plain concatenation: no separator added, none removed.
  EXPECT_EQ(builder->requestWithUrlComponent("/v1/a", "PUT", "https://h/").url, "https://h//v1/a");
  EXPECT_EQ(builder->requestWithUrlComponent("v1/a", "PUT", "https://h").url, "https://hv1/a");
  const auto get = builder->requestGetWithComponent("/p", "https://h");
  EXPECT_EQ(get.url, "https://h/p");
  EXPECT_EQ(get.httpMethod, "GET");
  EXPECT_TRUE(get.headers.empty());
}

struct BodyCase {
  const char* name;
  HttpRequest request;
  std::string body;
  std::string contentType;
  std::string contentLength;
};

class SessionRequestBuilderBodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(SessionRequestBuilderBodyTest, BodyAndItsHeaders) {
  const auto& c = GetParam();
  EXPECT_EQ(bodyText(c.request), c.body);
  EXPECT_EQ(c.request.headers.valueForField("Content-Type"), c.contentType);
  EXPECT_EQ(c.request.headers.valueForField("Content-Length"), c.contentLength);
  EXPECT_EQ(c.request.headers.size(), 2u);
  EXPECT_EQ(c.request.timeoutInterval, 40.0);
}

const SessionRequestBuilder builder;
const Json kObject = Json::parse(R"({"name":"Café ☕","n":[1,2.5,true,null],"z":{}})");
const Json kNull = nullptr;

INSTANTIATE_TEST_SUITE_P(
    Variants, SessionRequestBuilderBodyTest,
    ::testing::Values(
        // 46 characters, but "é" takes two bytes and "☕" three.
        BodyCase{"JsonObjectCountsBytes", builder.getPostRequestPostObject("u", &kObject, "POST"),
                 R"({"name":"Café ☕","n":[1,2.5,true,null],"z":{}})", "application/json", "49"},
        BodyCase{"JsonNullIsABody", builder.getPostRequestPostObject("u", &kNull, "POST"), "null",
                 "application/json", "4"},
        BodyCase{"NoObjectNoBody", builder.getPostRequestPostObject("u", nullptr, "POST"), "<none>",
                 "application/json", "0"},
        BodyCase{"StringBody", builder.getPostRequestPostString("u", "\"é\\\"\"", "PUT"),
                 "\"é\\\"\"", "application/json", "6"},
        BodyCase{"NoStringNoBody", builder.getPostRequestPostString("u", std::nullopt, "PUT"),
                 "<none>", "application/json", "0"},
        BodyCase{"TextBody", builder.getPostRequestText("/c", "naïve", "POST", "https://h"),
                 "naïve", "text/plain", "6"},
        BodyCase{"RawBody", builder.getRawPostRequest("u", Bytes{0xFF, 0x00, 0xD8}, "POST"),
                 std::string("\xFF\x00\xD8", 3), "image/jpeg", "3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SessionRequestBuilderTest, VariantsKeepUrlAndMethod) {
  const auto text = builder.getPostRequestText("/c", "t", "PATCH", "https://h/");
  EXPECT_EQ(text.url, "https://h//c");
  EXPECT_EQ(text.httpMethod, "PATCH");
  const auto put = builder.getPostRequestPostString("https://e/d/1.json", "x", "PUT");
  EXPECT_EQ(put.url, "https://e/d/1.json");
  EXPECT_EQ(put.httpMethod, "PUT");
}

TEST(SessionRequestBuilderTest, ABodyThatIsNotJsonIsAProgrammingError) {
  const Json invalid = {{"name", std::string("\xFF\xFE")}};
  try {
    (void)builder.getPostRequestPostObject("u", &invalid, "POST");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), Exception::kInvalidArgument);
  }
}

}  // namespace
}  // namespace trevalo
