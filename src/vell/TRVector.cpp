#include "vell/TRVector.h"

#include <charconv>
#include <cmath>

namespace trevalo {

namespace {

void appendNumber(std::string& text, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, result.ptr);
}

}  // namespace

bool TRVector::hasMeaningfulValue() const noexcept {
  return std::fabs(x) > 0.00001 || std::fabs(y) > 0.0001 || std::fabs(z) > 0.0001;
}

std::string TRVector::description() const {
  std::string text = "x:";
  appendNumber(text, x);
  text += " y:";
  appendNumber(text, y);
  text += " z:";
  appendNumber(text, z);
  return text;
}

}  // namespace trevalo
