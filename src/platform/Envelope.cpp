#include "platform/Envelope.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace trevalo::platform {

namespace {

constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kCrcSize = 4;

// CRC-32C (Castagnoli). x86-64 computes it with one instruction per eight bytes (SSE 4.2,
// checked at run time); elsewhere the slicing-by-8 tables below do it eight bytes a step:
// table[k][b] is the CRC of byte b followed by k zero bytes.
constexpr std::uint32_t kPolynomial = 0x82F63B78u;
constexpr std::uint32_t kInitial = 0xFFFFFFFFu;

using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeCrcTables() {
  CrcTables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
    tables[0][i] = c;
  }
  for (std::size_t t = 1; t < 8; ++t) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = tables[t - 1][i];
      tables[t][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr CrcTables kCrc = makeCrcTables();

std::uint32_t crcWithTables(std::uint32_t c, const std::uint8_t* p, std::size_t n) noexcept {
  for (; n >= 8; n -= 8, p += 8) {
    const std::uint32_t low = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                   std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
    c = kCrc[7][low & 0xFF] ^ kCrc[6][(low >> 8) & 0xFF] ^ kCrc[5][(low >> 16) & 0xFF] ^
        kCrc[4][low >> 24] ^ kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
  }
  for (; n > 0; --n, ++p)
    c = kCrc[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) std::uint32_t crcWithInstructions(std::uint32_t c,
                                                                    const std::uint8_t* p,
                                                                    std::size_t n) noexcept {
  std::uint64_t wide = c;
  for (; n >= 8; n -= 8, p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    wide = _mm_crc32_u64(wide, word);
  }
  auto narrow = static_cast<std::uint32_t>(wide);
  for (; n > 0; --n, ++p)
    narrow = _mm_crc32_u8(narrow, *p);
  return narrow;
}

bool hasCrcInstructions() noexcept {
  static const bool supported = __builtin_cpu_supports("sse4.2");
  return supported;
}
#endif

}  // namespace

std::uint32_t Envelope::crc32c(std::span<const std::uint8_t> bytes) noexcept {
#if defined(__x86_64__)
  if (hasCrcInstructions())
    return crcWithInstructions(kInitial, bytes.data(), bytes.size()) ^ kInitial;
#endif
  return crc32cPortable(bytes);
}

std::uint32_t Envelope::crc32cPortable(std::span<const std::uint8_t> bytes) noexcept {
  return crcWithTables(kInitial, bytes.data(), bytes.size()) ^ kInitial;
}

Bytes Envelope::seal(std::string_view magic, std::span<const std::uint8_t> payload) {
  Bytes bytes;
  bytes.reserve(kMagicSize + payload.size() + kCrcSize);
  for (std::size_t i = 0; i < kMagicSize; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(i < magic.size() ? magic[i] : ' '));
  }
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  const std::uint32_t crc = crc32c(payload);
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
  if (stored != crc32c(payload)) return {Status::kDamaged, {}};
  return {Status::kOk, payload};
}

}  // namespace trevalo::platform
