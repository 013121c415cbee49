#include "simulation/NmeaSentence.h"

#include <charconv>
#include <cmath>

namespace trevalo::simulation {

namespace {

int hexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isAddressCharacter(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

const char* NmeaSentence::parse(std::string_view line) {
  const auto dollar = line.find('$');
  if (dollar == std::string_view::npos) return "no sentence start ('$')";
  std::string_view sentence = line.substr(dollar + 1);
  while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == ' ')) {
    sentence.remove_suffix(1);
  }

  const auto star = sentence.rfind('*');
  if (star == std::string_view::npos) return "no checksum";
  if (sentence.size() != star + 3) return "malformed checksum";
  const int high = hexDigit(sentence[star + 1]);
  const int low = hexDigit(sentence[star + 2]);
  if (high < 0 || low < 0) return "malformed checksum";
  unsigned computed = 0;
  for (std::size_t i = 0; i < star; ++i)
    computed ^= static_cast<unsigned char>(sentence[i]);
  if (computed != static_cast<unsigned>(high * 16 + low)) return "checksum mismatch";

  const std::string_view body = sentence.substr(0, star);
  const auto comma = body.find(',');
  const std::string_view address = body.substr(0, comma);
  // Proprietary sentences ("$P" and a maker code, then anything) keep their whole address as
  // their type, which never matches a standard one.
  const bool proprietary = !address.empty() && address[0] == 'P';
  if (address.size() < (proprietary ? 2u : 5u)) return "malformed address";
  for (const char c : address) {
    if (!isAddressCharacter(c)) return "malformed address";
  }
  type_ = proprietary ? address : address.substr(address.size() - 3);

  count_ = 0;
  if (comma == std::string_view::npos) return nullptr;
  std::size_t start = comma + 1;
  while (count_ < kMaxFields) {
    const auto next = body.find(',', start);
    if (next == std::string_view::npos) {
      fields_[count_++] = body.substr(start);
      break;
    }
    fields_[count_++] = body.substr(start, next - start);
    start = next + 1;
  }
  return nullptr;
}

std::optional<double> NmeaSentence::number(std::string_view field) {
  if (field.empty()) return std::nullopt;
  const char* first = field.data();
  const char* last = field.data() + field.size();
  if (*first == '+') ++first;
  double value = 0.0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<double> NmeaSentence::angle(std::string_view value, std::string_view hemisphere,
                                          double limit) {
  const auto raw = number(value);
  if (!raw || *raw < 0.0 || hemisphere.size() != 1) return std::nullopt;
  const double degrees = std::floor(*raw / 100.0);
  const double minutes = *raw - degrees * 100.0;
  if (minutes >= 60.0) return std::nullopt;
  double result = degrees + minutes / 60.0;
  if (result > limit) return std::nullopt;
  switch (hemisphere[0]) {
    case 'N':
    case 'E':
      return result;
    case 'S':
    case 'W':
      return -result;
    default:
      return std::nullopt;
  }
}

std::optional<double> NmeaSentence::timeOfDay(std::string_view field) {
  if (field.size() < 6) return std::nullopt;
  int parts[3];
  for (int i = 0; i < 3; ++i) {
    const char a = field[static_cast<std::size_t>(2 * i)];
    const char b = field[static_cast<std::size_t>(2 * i + 1)];
    if (a < '0' || a > '9' || b < '0' || b > '9') return std::nullopt;
    parts[i] = (a - '0') * 10 + (b - '0');
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return std::nullopt;
  double fraction = 0.0;
  if (field.size() > 6) {
    if (field[6] != '.') return std::nullopt;
    const auto tail = number(field.substr(6));
    if (!tail) return std::nullopt;
    fraction = *tail;
  }
  return parts[0] * 3600.0 + parts[1] * 60.0 + parts[2] + fraction;
}

}  // namespace trevalo::simulation
