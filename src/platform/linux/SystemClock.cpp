#include "trevalo/platform/linux/SystemClock.h"

#include <chrono>
#include <cmath>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

namespace {

double realTime() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double realUptime() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

SystemClock::SystemClock(double rate)
    : rate_(rate), originTime_(realTime()), originUptime_(realUptime()) {
  if (!(rate > 0.0) || !std::isfinite(rate)) {
    throw Exception(Exception::kInvalidArgument, "a clock rate must be positive and finite");
  }
}

Date SystemClock::now() const {
  if (rate_ == 1.0) return Date(realTime());
  return Date(originTime_ + (realUptime() - originUptime_) * rate_);
}

double SystemClock::systemUptime() const {
  if (rate_ == 1.0) return realUptime();
  return originUptime_ + (realUptime() - originUptime_) * rate_;
}

}  // namespace trevalo::platform
