#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "trevalo/platform/Bytes.h"

namespace trevalo::platform {

// The frame around every file the platform writes: a four-letter magic naming the format, the
// payload, and a CRC-32C of the payload. Opening tells a file of another format apart from one
// that was cut short or damaged.
class Envelope {
 public:
  enum class Status { kOk, kForeign, kDamaged };

  struct Opened {
    Status status;
    std::span<const std::uint8_t> payload;  // valid only with kOk
  };

  static Bytes seal(std::string_view magic, std::span<const std::uint8_t> payload);
  static Opened open(std::string_view magic, std::span<const std::uint8_t> bytes);

  // CRC-32C (Castagnoli), with the processor's instruction where it has one.
  static std::uint32_t crc32c(std::span<const std::uint8_t> bytes) noexcept;
  // The same checksum from tables only, for machines without the instruction.
  static std::uint32_t crc32cPortable(std::span<const std::uint8_t> bytes) noexcept;
};

}  // namespace trevalo::platform
