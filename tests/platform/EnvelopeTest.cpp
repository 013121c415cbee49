#include "platform/Envelope.h"

#include <gtest/gtest.h>

#include <string_view>

namespace trevalo::platform {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(EnvelopeTest, ChecksumIsCrc32cWithAndWithoutTheProcessorInstruction) {
  EXPECT_EQ(Envelope::crc32c(bytesOf("123456789")), 0xE3069283u);  // the standard check value
  EXPECT_EQ(Envelope::crc32cPortable(bytesOf("123456789")), 0xE3069283u);
  Bytes data(1000);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<std::uint8_t>(i * 131 + 7);
  for (std::size_t length : {0u, 1u, 7u, 8u, 9u, 63u, 1000u}) {
    const std::span<const std::uint8_t> prefix(data.data(), length);
    EXPECT_EQ(Envelope::crc32c(prefix), Envelope::crc32cPortable(prefix)) << length;
  }
}

}  // namespace
}  // namespace trevalo::platform
