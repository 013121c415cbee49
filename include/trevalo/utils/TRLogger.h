#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

namespace trevalo {

// The debug logger the SDK reports short status lines to. By default it discards every line.
// An application that wants to see them installs a sink; the sink may be installed, replaced
// or removed at any time, also while other threads are logging.
class TRLogger {
 public:
  // Receives (message, key, interval in seconds). It is called on the logging thread, without
  // any lock of the logger held, so it may log or replace the sink itself. A line being
  // delivered while the sink is replaced may still reach the old sink; the old sink stays
  // alive until that delivery has finished.
  using Sink = std::function<void(std::string_view message, std::string_view key, double interval)>;

  TRLogger() = default;
  TRLogger(const TRLogger&) = delete;
  TRLogger& operator=(const TRLogger&) = delete;

  // The shared logger, made on first use (once, whichever thread asks first). Making it
  // switches battery monitoring on for the device of the platform installed at that moment.
  static std::shared_ptr<TRLogger> instance();

  void send(std::string_view message, std::string_view key, double interval) const;
  void clearLog();

  // An empty sink switches delivery off again.
  void setSink(Sink sink);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const Sink> sink_;
  // Lets the common case, no sink, skip the lock.
  std::atomic<bool> hasSink_{false};
};

}  // namespace trevalo
