#include "networking/UrlEncoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace trevalo {
namespace {

TEST(UrlEncodingTest, DecimalsReadBackExactlyAndNonFiniteValuesHaveNone) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> coordinate(-180.0, 180.0);
  for (int i = 0; i < 10000; ++i) {
    const double value = coordinate(random);
    const auto text = UrlEncoding::decimal(value);
    ASSERT_TRUE(text);
    EXPECT_EQ(std::strtod(text->c_str(), nullptr), value) << *text;
  }
  EXPECT_EQ(UrlEncoding::decimal(std::numeric_limits<double>::lowest()),
            "-1.7976931348623157e+308");
  EXPECT_EQ(UrlEncoding::decimal(std::numeric_limits<double>::denorm_min()), "5e-324");
  EXPECT_FALSE(UrlEncoding::decimal(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(UrlEncoding::decimal(-std::numeric_limits<double>::infinity()));
}

TEST(UrlEncodingTest, EveryByteOutsideAUrlQueryIsEncodedAndNothingElse) {
  const std::string allowed =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~!$&'()*+,;=:@/?";
  for (int byte = 0; byte < 256; ++byte) {
    const std::string text(1, static_cast<char>(byte));
    const std::string encoded = UrlEncoding::percentEncodedForQuery(text);
    if (allowed.find(static_cast<char>(byte)) != std::string::npos) {
      EXPECT_EQ(encoded, text) << byte;
    } else {
      ASSERT_EQ(encoded.size(), 3u) << byte;
      EXPECT_EQ(encoded[0], '%');
      EXPECT_EQ(std::stoi(encoded.substr(1), nullptr, 16), byte);
      EXPECT_EQ(encoded.find_first_of("abcdef"), std::string::npos) << "upper-case hex";
    }
  }
}

}  // namespace
}  // namespace trevalo
