#include "platform/linux/GpsdReceiver.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "trevalo/platform/linux/GpsdLocationManager.h"

namespace trevalo::platform {

GpsdReceiver::GpsdReceiver(SoftwareLocationManager& manager, SessionFactory makeSession,
                           Options options, std::shared_ptr<RealTimeRunLoop> readingLoop)
    : manager_(manager),
      makeSession_(std::move(makeSession)),
      options_(options),
      readingLoop_(std::move(readingLoop)) {
  thread_ = std::thread([this] { run(); });
}

GpsdReceiver::~GpsdReceiver() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void GpsdReceiver::wake() {
  // Taking the lock orders the change the manager made before the loop's next look at it.
  { const std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

bool GpsdReceiver::wanted() const {
  return manager_.wantsLocations() || manager_.wantsHeadings();
}

bool GpsdReceiver::pause(double seconds) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                            [&] { return stopping_.load() || !wanted(); });
}

void GpsdReceiver::reportOutage(const Error& error) {
  if (outageReported_) return;
  outageReported_ = true;
  manager_.pushFailure(error);
}

void GpsdReceiver::run() {
  double retryDelay = options_.minimumRetryDelay;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_.load() || wanted(); });
      if (stopping_) return;
    }
    auto session = makeSession_ ? makeSession_() : nullptr;
    if (!session || !session->open()) {
      reportOutage(GpsdLocationManager::unreachableError());
      if (pause(retryDelay)) retryDelay = std::min(retryDelay * 2, options_.maximumRetryDelay);
      continue;
    }
    connected_ = true;
    bool delivered = false;
    const Ended ended = readingLoop_ && session->descriptor() >= 0
                            ? readOnLoop(*session, delivered)
                            : readUntilEnd(*session, delivered);
    session.reset();
    connected_ = false;
    if (ended == Ended::kStopping) return;
    if (delivered) {
      retryDelay = options_.minimumRetryDelay;
      outageReported_ = false;
    }
    if (ended != Ended::kLost) continue;
    reportOutage(GpsdLocationManager::connectionLostError());
    // A session that worked is tried again at once (gpsd restarting is back quickly); one that
    // broke before saying anything waits, so a gpsd that accepts and hangs up is not hammered.
    if (!delivered && pause(retryDelay)) {
      retryDelay = std::min(retryDelay * 2, options_.maximumRetryDelay);
    }
  }
}

GpsdReceiver::Ended GpsdReceiver::readUntilEnd(GpsdSession& session, bool& delivered) {
  for (;;) {
    if (stopping_) return Ended::kStopping;
    if (!wanted()) return Ended::kUnwanted;
    GpsdFix fix;
    const auto read = session.read(options_.pollInterval, fix);
    if (read == GpsdSession::Read::kLost) return Ended::kLost;
    delivered = take(read, fix) || delivered;
  }
}

GpsdReceiver::Ended GpsdReceiver::readOnLoop(GpsdSession& session, bool& delivered) {
  // Shared with the loop's thread; the watch ends before they go.
  std::atomic<bool> reported{false};
  bool lost = false;  // under mutex_
  auto watch = readingLoop_->watchReadable(session.descriptor(), [&] {
    for (;;) {
      GpsdFix fix;
      const auto read = session.read(0.0, fix);
      if (read == GpsdSession::Read::kNothing) return true;
      if (read == GpsdSession::Read::kLost) {
        {
          const std::lock_guard lock(mutex_);
          lost = true;
        }
        changed_.notify_all();
        return false;
      }
      if (take(read, fix)) reported = true;
    }
  });
  Ended ended = Ended::kUnwanted;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_.load() || lost || !wanted(); });
    if (stopping_) {
      ended = Ended::kStopping;
    } else if (lost) {
      ended = Ended::kLost;
    }
  }
  watch->cancel();
  delivered = reported.load();
  return ended;
}

bool GpsdReceiver::take(GpsdSession::Read read, const GpsdFix& fix) {
  if (read == GpsdSession::Read::kFix) push(fix);
  return read == GpsdSession::Read::kFix || read == GpsdSession::Read::kOther;
}

void GpsdReceiver::push(const GpsdFix& fix) {
  if (lastFixTime_ == fix.time) return;
  lastFixTime_ = fix.time;
  manager_.pushLocation(fix.location());
  if (const auto heading = fix.heading()) manager_.pushHeading(*heading);
}

}  // namespace trevalo::platform
