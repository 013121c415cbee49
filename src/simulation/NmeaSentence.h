#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace trevalo::simulation {

// One NMEA 0183 sentence taken apart without copying: its three-letter type ("RMC") and its
// comma-separated fields, after the checksum was verified. Views into the parsed line.
class NmeaSentence {
 public:
  static constexpr std::size_t kMaxFields = 40;

  // Takes apart the sentence that starts at the first '$' of `line` (receivers sometimes put
  // binary noise before it). Returns nothing on success, or why the sentence is broken.
  const char* parse(std::string_view line);

  std::string_view type() const noexcept { return type_; }
  std::size_t fieldCount() const noexcept { return count_; }
  // Field `index` counting from 1 after the address; empty when the sentence has fewer.
  std::string_view field(std::size_t index) const noexcept {
    return index >= 1 && index <= count_ ? fields_[index - 1] : std::string_view();
  }

  // A decimal number ("12.5"); nothing when the field is empty or not a number.
  static std::optional<double> number(std::string_view field);
  // "ddmm.mmmm" with "N"/"S" (or "dddmm.mmmm" with "E"/"W") as signed degrees.
  static std::optional<double> angle(std::string_view value, std::string_view hemisphere,
                                     double limit);
  // "hhmmss.sss" as seconds since midnight.
  static std::optional<double> timeOfDay(std::string_view field);

 private:
  std::string_view type_;
  std::array<std::string_view, kMaxFields> fields_{};
  std::size_t count_ = 0;
};

}  // namespace trevalo::simulation
