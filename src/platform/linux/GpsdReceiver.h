#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/linux/GpsdSession.h"
#include "trevalo/platform/RealTimeRunLoop.h"
#include "trevalo/platform/SoftwareLocationManager.h"

namespace trevalo::platform {

// The loop that keeps a gpsd session open while the manager it feeds wants fixes or headings,
// on a thread of its own, and pushes every new fix (and, while headings are wanted, the
// heading of its track) into that manager. A report repeating the time of the one before is
// the same fix completed by a later sentence and is not pushed again.
//
// When gpsd cannot be reached, or the session is lost, the manager is told once per outage
// (kErrorUnreachable when it never answered since the last session, kErrorConnectionLost when
// a session broke) and the loop tries again after a delay that doubles from the minimum to
// the maximum, back to the minimum once a session delivers. When nothing is wanted any more,
// the session is closed, so gpsd can let the receiver rest.
//
// Given a real-time run loop (the one the manager delivers on), an open session is read on
// that loop's thread as its reports come, so a report wakes one thread, not this one and then
// the loop's; this thread then only opens, waits and closes. Otherwise, or for a session
// without a descriptor, this thread reads.
class GpsdReceiver {
 public:
  using SessionFactory = std::function<std::unique_ptr<GpsdSession>()>;

  struct Options {
    double minimumRetryDelay = 0.5;  // seconds
    double maximumRetryDelay = 30.0;
    // How long one read waits before the loop looks again at what is wanted.
    double pollInterval = 0.1;
  };

  // `manager` must outlive the receiver; its demandChanged() calls wake().
  GpsdReceiver(SoftwareLocationManager& manager, SessionFactory makeSession, Options options,
               std::shared_ptr<RealTimeRunLoop> readingLoop = nullptr);
  ~GpsdReceiver();
  GpsdReceiver(const GpsdReceiver&) = delete;
  GpsdReceiver& operator=(const GpsdReceiver&) = delete;

  // What the manager wants has changed.
  void wake();

  bool isConnected() const noexcept { return connected_.load(); }

 private:
  enum class Ended { kLost, kUnwanted, kStopping };

  void run();
  bool wanted() const;
  // Reads until the session is lost, nothing is wanted or the receiver stops; `delivered`
  // tells whether any report came. The first reads on this thread, the second on the loop's.
  Ended readUntilEnd(GpsdSession& session, bool& delivered);
  Ended readOnLoop(GpsdSession& session, bool& delivered);
  // Pushes the fix of a read that gave one; true when gpsd said anything at all.
  bool take(GpsdSession::Read read, const GpsdFix& fix);
  void push(const GpsdFix& fix);
  // Tells the manager of a failure unless the outage it belongs to was told already.
  void reportOutage(const Error& error);
  // Waits `seconds`, or until stopped or nothing is wanted; false when it was cut short.
  bool pause(double seconds);

  SoftwareLocationManager& manager_;
  const SessionFactory makeSession_;
  const Options options_;
  const std::shared_ptr<RealTimeRunLoop> readingLoop_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> connected_{false};
  bool outageReported_ = false;      // only this thread uses it
  std::optional<Date> lastFixTime_;  // only the thread reading the session uses it

  std::thread thread_;
};

}  // namespace trevalo::platform
