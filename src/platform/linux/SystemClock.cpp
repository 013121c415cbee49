#include "trevalo/platform/linux/SystemClock.h"

#include <chrono>

namespace trevalo::platform {

Date SystemClock::now() const {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return Date(std::chrono::duration<double>(sinceEpoch).count());
}

double SystemClock::systemUptime() const {
  const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration<double>(sinceBoot).count();
}

}  // namespace trevalo::platform
