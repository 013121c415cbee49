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

const SessionRequestBuilder builder;

TEST(SessionRequestBuilderTest, PlainRequestsCarryUrlMethodAndTimeoutOnly) {
  const auto request = builder.getRequestWithUrl("https://h/v1/x?a=b", "DELETE");
  EXPECT_EQ(request.url, "https://h/v1/x?a=b");
  EXPECT_EQ(request.httpMethod, "DELETE");
  EXPECT_EQ(request.timeoutInterval, 40.0);
  EXPECT_FALSE(request.body);
  EXPECT_TRUE(request.headers.empty());

  // Plain concatenation: no separator added, none removed.
  EXPECT_EQ(builder.requestWithUrlComponent("/v1/a", "PUT", "https://h/").url, "https://h//v1/a");
  EXPECT_EQ(builder.requestWithUrlComponent("v1/a", "PUT", "https://h").url, "https://hv1/a");
  const auto get = builder.requestGetWithComponent("/p", "https://h");
  EXPECT_EQ(get.url, "https://h/p");
  EXPECT_EQ(get.httpMethod, "GET");
  EXPECT_TRUE(get.headers.empty());
}

TEST(SessionRequestBuilderTest, BodiesComeWithTheirTypeAndByteCount) {
  const Json object = Json::parse(R"({"name":"Café ☕","n":[1,2.5,true,null],"z":{}})");
  const Json null = nullptr;
  const struct {
    HttpRequest request;
    std::string method;
    std::string body;
    std::string contentType;
    std::string contentLength;
  } cases[] = {// 46 characters, but "é" takes two bytes and "☕" three.
               {builder.getPostRequestPostObject("u", &object, "POST"), "POST",
                R"({"name":"Café ☕","n":[1,2.5,true,null],"z":{}})", "application/json", "49"},
               {builder.getPostRequestPostObject("u", &null, "POST"), "POST", "null",
                "application/json", "4"},
               {builder.getPostRequestPostObject("u", nullptr, "POST"), "POST", "<none>",
                "application/json", "0"},
               {builder.getPostRequestPostString("u", "\"é\\\"\"", "PUT"), "PUT", "\"é\\\"\"",
                "application/json", "6"},
               {builder.getPostRequestPostString("u", std::nullopt, "PUT"), "PUT", "<none>",
                "application/json", "0"},
               {builder.getPostRequestText("/c", "naïve", "PATCH", "https://h"), "PATCH", "naïve",
                "text/plain", "6"},
               {builder.getRawPostRequest("u", Bytes{0xFF, 0x00, 0xD8}, "POST"), "POST",
                std::string("\xFF\x00\xD8", 3), "image/jpeg", "3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + c.contentType + " " + c.contentLength);
    EXPECT_EQ(c.request.httpMethod, c.method);
    EXPECT_EQ(bodyText(c.request), c.body);
    EXPECT_EQ(c.request.headers.valueForField("Content-Type"), c.contentType);
    EXPECT_EQ(c.request.headers.valueForField("Content-Length"), c.contentLength);
    EXPECT_EQ(c.request.headers.size(), 2u);
    EXPECT_EQ(c.request.timeoutInterval, 40.0);
  }
  EXPECT_EQ(cases[5].request.url, "https://h/c");
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
