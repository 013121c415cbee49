#pragma once

#include <string>

namespace trevalo {

// Three doubles: an acceleration, or a point in metres in an Earth-centred frame.
struct TRVector {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  constexpr TRVector() noexcept = default;
  constexpr TRVector(double x, double y, double z) noexcept : x(x), y(y), z(z) {}

  // Whether the vector is distinguishable from sensor noise around zero. The x threshold is
  // ten times tighter than those of y and z.
  bool hasMeaningfulValue() const noexcept;

  // "x:1 y:0.25 z:-9.81": each component in the shortest text that reads back as the same
  // double.
  std::string description() const;

  constexpr bool operator==(const TRVector&) const noexcept = default;
};

}  // namespace trevalo
