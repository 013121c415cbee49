#include "trevalo/utils/TRLogger.h"

#include <utility>

#include "trevalo/platform/Platform.h"

namespace trevalo {

std::shared_ptr<TRLogger> TRLogger::instance() {
  static const std::shared_ptr<TRLogger> shared = [] {
    platform::Platform::current().device().setBatteryMonitoringEnabled(true);
    return std::make_shared<TRLogger>();
  }();
  return shared;
}

void TRLogger::send(std::string_view message, std::string_view key, double interval) const {
  if (!hasSink_.load(std::memory_order_acquire)) return;
  std::shared_ptr<const Sink> sink;
  {
    const std::lock_guard lock(mutex_);
    sink = sink_;
  }
  if (sink) (*sink)(message, key, interval);
}

void TRLogger::clearLog() {}

void TRLogger::setSink(Sink sink) {
  auto installed = sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr;
  // The previous sink is released after the lock: its captures may log on destruction, and a
  // thread still delivering to it holds a reference of its own.
  std::shared_ptr<const Sink> previous;
  const std::lock_guard lock(mutex_);
  hasSink_.store(installed != nullptr, std::memory_order_release);
  previous = std::exchange(sink_, std::move(installed));
}

}  // namespace trevalo
