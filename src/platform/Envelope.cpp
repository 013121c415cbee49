#include "platform/Envelope.h"

#include <algorithm>
#include <array>

namespace trevalo::platform {

namespace {

constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kCrcSize = 4;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr auto kCrcTable = makeCrcTable();

}  // namespace

std::uint32_t Envelope::crc32(std::span<const std::uint8_t> bytes) noexcept {
  std::uint32_t c = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes)
    c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

Bytes Envelope::seal(std::string_view magic, std::span<const std::uint8_t> payload) {
  Bytes bytes;
  bytes.reserve(kMagicSize + payload.size() + kCrcSize);
  for (std::size_t i = 0; i < kMagicSize; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(i < magic.size() ? magic[i] : ' '));
  }
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  const std::uint32_t crc = crc32(payload);
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<std::uint8_t>((crc >> shift) & 0xFF));
  }
  return bytes;
}

Envelope::Opened Envelope::open(std::string_view magic, std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMagicSize) return {Status::kDamaged, {}};
  for (std::size_t i = 0; i < kMagicSize; ++i) {
    const char expected = i < magic.size() ? magic[i] : ' ';
    if (bytes[i] != static_cast<std::uint8_t>(expected)) return {Status::kForeign, {}};
  }
  if (bytes.size() < kMagicSize + kCrcSize) return {Status::kDamaged, {}};
  const auto payload = bytes.subspan(kMagicSize, bytes.size() - kMagicSize - kCrcSize);
  std::uint32_t stored = 0;
  for (std::size_t i = 0; i < kCrcSize; ++i) {
    stored |= static_cast<std::uint32_t>(bytes[bytes.size() - kCrcSize + i]) << (8 * i);
  }
  if (stored != crc32(payload)) return {Status::kDamaged, {}};
  return {Status::kOk, payload};
}

}  // namespace trevalo::platform
