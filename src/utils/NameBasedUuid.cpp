#include "utils/NameBasedUuid.h"

#include <bit>
#include <cstddef>
#include <vector>

namespace trevalo {

namespace {

using Digest = std::array<std::uint8_t, 20>;

// SHA-1 of a message held whole in memory; the names hashed here are a few hundred bytes.
Digest sha1(const std::vector<std::uint8_t>& message) {
  std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

  std::vector<std::uint8_t> padded = message;
  padded.push_back(0x80);
  while (padded.size() % 64 != 56)
    padded.push_back(0);
  const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
  for (int shift = 56; shift >= 0; shift -= 8)
    padded.push_back(static_cast<std::uint8_t>(bits >> shift));

  for (std::size_t block = 0; block < padded.size(); block += 64) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
      const std::uint8_t* p = &padded[block + 4 * static_cast<std::size_t>(i)];
      w[i] = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
             (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    }
    for (int i = 16; i < 80; ++i)
      w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      std::uint32_t f;
      std::uint32_t k;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const std::uint32_t next = std::rotl(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = std::rotl(b, 30);
      b = a;
      a = next;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
  }

  Digest digest{};
  for (std::size_t i = 0; i < 5; ++i) {
    for (std::size_t k = 0; k < 4; ++k)
      digest[4 * i + k] = static_cast<std::uint8_t>(h[i] >> (24 - 8 * k));
  }
  return digest;
}

}  // namespace

std::string NameBasedUuid::make(const Bytes& nameSpace, std::string_view name) {
  std::vector<std::uint8_t> message(nameSpace.begin(), nameSpace.end());
  message.insert(message.end(), name.begin(), name.end());
  const Digest digest = sha1(message);
  Bytes bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = digest[i];
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x50);  // version 5
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return text(bytes);
}

std::string NameBasedUuid::text(const Bytes& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) result.push_back('-');
    result.push_back(kHex[bytes[i] >> 4]);
    result.push_back(kHex[bytes[i] & 0x0F]);
  }
  return result;
}

}  // namespace trevalo
