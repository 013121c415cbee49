#include "trevalo/platform/HttpHeaders.h"

#include <gtest/gtest.h>

namespace trevalo::platform {
namespace {

TEST(HttpHeadersTest, NamesIgnoreCaseAndSettingReplacesEveryRepeatInPlace) {
  HttpHeaders headers{{"Content-Type", "text/plain"}, {"X-A", "1"}};
  headers.setValue("application/json", "content-type");
  // Responses may repeat a field; setting it afterwards leaves one value.
  headers.addValue("a=1", "Set-Cookie");
  headers.addValue("b=2", "set-cookie");
  EXPECT_EQ(headers.valueForField("SET-COOKIE"), "a=1");
  headers.setValue("c=3", "SET-COOKIE");
  headers.remove("x-a");
  EXPECT_EQ(headers.fields(), (std::vector<HttpHeaders::Field>{{"Content-Type", "application/json"},
                                                               {"Set-Cookie", "c=3"}}));
}

}  // namespace
}  // namespace trevalo::platform
