#pragma once

#include <compare>
#include <string>

namespace trevalo::platform {

// An instant, held as seconds since 1970-01-01T00:00:00Z. A plain value: cheap to copy and
// compare. `now()` reads the clock of the installed platform, so virtual time reaches every
// piece of code that asks for the current time.
class Date {
 public:
  constexpr Date() noexcept = default;
  constexpr explicit Date(double secondsSince1970) noexcept : seconds_(secondsSince1970) {}

  static Date now();

  constexpr double timeIntervalSince1970() const noexcept { return seconds_; }
  constexpr double timeIntervalSinceDate(Date other) const noexcept {
    return seconds_ - other.seconds_;
  }
  constexpr Date dateByAddingTimeInterval(double seconds) const noexcept {
    return Date(seconds_ + seconds);
  }

  // "2017-07-14 02:40:00 +0000", with milliseconds appended when the instant has any.
  std::string description() const;

  constexpr auto operator<=>(const Date&) const noexcept = default;

 private:
  double seconds_ = 0.0;
};

}  // namespace trevalo::platform

namespace trevalo {
using platform::Date;
}
