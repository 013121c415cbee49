#include "platform/CborWriter.h"

#include <bit>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace trevalo::platform {

void CborWriter::head(std::uint8_t major, std::uint64_t value) {
  const auto type = static_cast<std::uint8_t>(major << 5);
  if (value < 24) {
    out_.push_back(static_cast<std::uint8_t>(type | value));
    return;
  }
  int bytes = 8;
  std::uint8_t info = 27;
  if (value <= 0xFF) {
    bytes = 1;
    info = 24;
  } else if (value <= 0xFFFF) {
    bytes = 2;
    info = 25;
  } else if (value <= 0xFFFFFFFF) {
    bytes = 4;
    info = 26;
  }
  out_.push_back(static_cast<std::uint8_t>(type | info));
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    out_.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

void CborWriter::integer(std::int64_t value) {
  if (value >= 0) {
    head(0, static_cast<std::uint64_t>(value));
  } else {
    // -1 - value, computed without overflow for the smallest int64.
    head(1, ~static_cast<std::uint64_t>(value));
  }
}

void CborWriter::floating(double value) {
  // Narrowing is only defined for values a float can hold (infinities and NaN included).
  const bool fits = !std::isfinite(value) || std::fabs(value) <= std::numeric_limits<float>::max();
  const float narrow = fits ? static_cast<float>(value) : 0.0f;
  if (fits && (static_cast<double>(narrow) == value || std::isnan(value))) {
    out_.push_back(0xFA);
    const auto bits = std::bit_cast<std::uint32_t>(narrow);
    for (int shift = 24; shift >= 0; shift -= 8) {
      out_.push_back(static_cast<std::uint8_t>(bits >> shift));
    }
    return;
  }
  out_.push_back(0xFB);
  const auto bits = std::bit_cast<std::uint64_t>(value);
  for (int shift = 56; shift >= 0; shift -= 8) {
    out_.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
}

void CborWriter::text(std::string_view value) {
  head(3, value.size());
  out_.insert(out_.end(), value.begin(), value.end());
}

void CborWriter::json(const Json& value) {
  Json::to_cbor(value, out_);
}

}  // namespace trevalo::platform
