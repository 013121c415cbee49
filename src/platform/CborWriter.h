#pragma once

#include <cstdint>
#include <string_view>

#include "trevalo/Json.h"
#include "trevalo/platform/Bytes.h"

namespace trevalo::platform {

// Appends CBOR items to a byte buffer, without building a tree first. Only what keyed
// archives need: integers, floats (the shorter exact form), text, null, Booleans, array
// headers of known and of indefinite length, and any JSON value.
class CborWriter {
 public:
  explicit CborWriter(Bytes& out) noexcept : out_(out) {}

  void null() { out_.push_back(0xF6); }
  void boolean(bool value) { out_.push_back(value ? 0xF5 : 0xF4); }
  void integer(std::int64_t value);
  void unsignedInteger(std::uint64_t value) { head(0, value); }
  void floating(double value);
  void text(std::string_view value);
  void arrayHeader(std::uint64_t count) { head(4, count); }
  void mapHeader(std::uint64_t count) { head(5, count); }
  void beginIndefiniteArray() { out_.push_back(0x9F); }
  void endIndefinite() { out_.push_back(0xFF); }
  void json(const Json& value);
  void raw(const Bytes& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

 private:
  void head(std::uint8_t major, std::uint64_t value);

  Bytes& out_;
};

}  // namespace trevalo::platform
