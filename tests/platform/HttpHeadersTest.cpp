#include "trevalo/platform/HttpHeaders.h"

#include <gtest/gtest.h>

namespace trevalo::platform {
namespace {

TEST(HttpHeadersTest, NamesIgnoreCaseAndSettingReplacesInPlace) {
  HttpHeaders headers{{"Content-Type", "text/plain"}, {"X-A", "1"}};
  headers.setValue("application/json", "content-type");
  EXPECT_EQ(headers.fields(),
            (std::vector<HttpHeaders::Field>{{"Content-Type", "application/json"}, {"X-A", "1"}}));
  EXPECT_EQ(headers.valueForField("CONTENT-TYPE"), "application/json");
  EXPECT_EQ(headers.valueForField("Content-Typ"), std::nullopt);

  // Responses may repeat a field; setting it afterwards leaves one value.
  headers.addValue("a=1", "Set-Cookie");
  headers.addValue("b=2", "set-cookie");
  EXPECT_EQ(headers.valueForField("Set-Cookie"), "a=1");
  EXPECT_EQ(headers.size(), 4u);
  headers.setValue("c=3", "SET-COOKIE");
  EXPECT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers.valueForField("set-cookie"), "c=3");

  headers.remove("x-a");
  headers.remove("absent");
  EXPECT_EQ(headers.size(), 2u);
  EXPECT_FALSE(headers.valueForField("X-A"));
}

}  // namespace
}  // namespace trevalo::platform
