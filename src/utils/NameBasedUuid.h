#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace trevalo {

// Name-based (version 5, SHA-1) UUIDs: the same namespace and name always give the same
// identifier, and different names give different ones for all practical purposes. Written in
// the same upper-case 36-character form as the random identifiers of the platform.
class NameBasedUuid {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  NameBasedUuid() = delete;

  // The namespace of the identifiers the SDK derives from geocoder answers.
  static constexpr Bytes kPlacemarkNamespace = {0xA7, 0xC5, 0xE8, 0xA5, 0x3B, 0x23, 0x42, 0xF3,
                                                0xBF, 0x09, 0x1A, 0x15, 0xE9, 0x70, 0x44, 0x2F};

  static std::string make(const Bytes& nameSpace, std::string_view name);
  // Upper-case text with hyphens after the 4th, 6th, 8th and 10th byte.
  static std::string text(const Bytes& bytes);
};

}  // namespace trevalo
