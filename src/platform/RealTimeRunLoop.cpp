#include "trevalo/platform/RealTimeRunLoop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "platform/EventDescriptor.h"

namespace trevalo::platform {

namespace {
// Upper bound of one wait, so that a timer scheduled for "never" does not overflow the wait.
constexpr double kLongestWaitSeconds = 3600.0;
}  // namespace

struct RealTimeRunLoop::DescriptorWatch::Entry {
  Entry(int descriptor, ReadableHandler handler) : fd(descriptor), onReadable(std::move(handler)) {}

  const int fd;
  const ReadableHandler onReadable;
  std::atomic<bool> cancelled{false};
};

RealTimeRunLoop::DescriptorWatch::DescriptorWatch(RealTimeRunLoop& loop,
                                                  std::shared_ptr<Entry> entry)
    : loop_(loop), entry_(std::move(entry)) {}

RealTimeRunLoop::DescriptorWatch::~DescriptorWatch() {
  cancel();
}

void RealTimeRunLoop::DescriptorWatch::cancel() {
  if (!entry_->cancelled.load()) loop_.cancel(entry_);
}

RealTimeRunLoop::RealTimeRunLoop(std::shared_ptr<const Clock> clock)
    : RunLoop(std::move(clock)), wake_(std::make_unique<EventDescriptor>()) {
  if (!wake_->valid()) throw std::system_error(errno, std::system_category(), "eventfd");
}

RealTimeRunLoop::~RealTimeRunLoop() {
  stopThread();
}

void RealTimeRunLoop::stopThread() {
  if (thread_.joinable()) {
    stop();
    thread_.join();
  }
}

void RealTimeRunLoop::run() {
  loop(std::nullopt);
}

void RealTimeRunLoop::runFor(double seconds) {
  loop(clock().systemUptime() + seconds);
}

void RealTimeRunLoop::stop() {
  const std::lock_guard lock(mutex_);
  stopRequested_ = true;
  interruptWaitLocked();
}

void RealTimeRunLoop::startThread() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { loop(std::nullopt); });
  // Hand the loop over before returning, so that from now on only that thread is current.
  adoptThread(thread_.get_id());
}

std::unique_ptr<RealTimeRunLoop::DescriptorWatch> RealTimeRunLoop::watchReadable(
    int fd, ReadableHandler onReadable) {
  auto entry = std::make_shared<DescriptorWatch::Entry>(fd, std::move(onReadable));
  {
    const std::lock_guard lock(mutex_);
    watches_.push_back(entry);
  }
  interruptWait();
  return std::unique_ptr<DescriptorWatch>(new DescriptorWatch(*this, std::move(entry)));
}

void RealTimeRunLoop::cancel(const std::shared_ptr<DescriptorWatch::Entry>& entry) {
  {
    // A handler running on the loop's thread finishes first; on that thread itself (the
    // handler cancelling its own watch) the lock is taken again at once.
    const std::lock_guard dispatching(dispatching_);
    entry->cancelled = true;
  }
  {
    const std::lock_guard lock(mutex_);
    std::erase(watches_, entry);
  }
  // A loop asleep in poll() still watches the descriptor, which its owner may now close.
  interruptWait();
}

void RealTimeRunLoop::loop(std::optional<double> deadlineUptime) {
  adoptCurrentThread();
  for (;;) {
    runPostedTasks();
    double now = clock().systemUptime();
    while (fireNextTimerDueBy(now, now)) {
      runPostedTasks();
      now = clock().systemUptime();
    }
    if (deadlineUptime && now >= *deadlineUptime) return;
    {
      const std::lock_guard lock(mutex_);
      if (stopRequested_) {
        stopRequested_ = false;
        return;
      }
      if (woken_) {
        woken_ = false;
        continue;
      }
    }
    double wakeAt = std::numeric_limits<double>::infinity();
    if (const auto next = nextFireUptime()) wakeAt = *next;
    if (deadlineUptime) wakeAt = std::min(wakeAt, *deadlineUptime);
    wait(std::min((wakeAt - clock().systemUptime()) / clock().rate(), kLongestWaitSeconds));
  }
}

void RealTimeRunLoop::wait(double seconds) {
  // Only the thread running the loop uses these two; they keep their capacity from wait to wait.
  auto& descriptors = polledDescriptors_;
  auto& watched = polledWatches_;
  {
    const std::lock_guard lock(mutex_);
    // Work that came since the loop last looked is run before any wait.
    if (woken_ || stopRequested_) seconds = 0.0;
    watched = watches_;
    waiting_ = true;
  }
  descriptors.assign(1, {wake_->descriptor(), POLLIN, 0});
  for (const auto& entry : watched)
    descriptors.push_back({entry->fd, POLLIN, 0});
  const double wait = std::max(seconds, 0.0);
  const timespec timeout{static_cast<time_t>(wait), static_cast<long>(std::fmod(wait, 1.0) * 1e9)};
  const int ready = ::ppoll(descriptors.data(), descriptors.size(), &timeout, nullptr);
  {
    const std::lock_guard lock(mutex_);
    waiting_ = false;
    woken_ = false;
    if (signalled_) {
      std::uint64_t signals = 0;
      [[maybe_unused]] const auto read = ::read(wake_->descriptor(), &signals, sizeof signals);
      signalled_ = false;
    }
  }
  for (std::size_t i = 0; ready > 0 && i < watched.size(); ++i) {
    if (descriptors[i + 1].revents == 0) continue;
    const auto& entry = watched[i];
    const std::lock_guard dispatching(dispatching_);
    if (entry->cancelled.load() || entry->onReadable()) continue;
    entry->cancelled = true;
    const std::lock_guard lock(mutex_);
    std::erase(watches_, entry);
  }
  // What a handler holds goes with its watch, not at the next wait.
  watched.clear();
}

void RealTimeRunLoop::workArrived() {
  const std::lock_guard lock(mutex_);
  woken_ = true;
  interruptWaitLocked();
}

void RealTimeRunLoop::interruptWait() {
  const std::lock_guard lock(mutex_);
  interruptWaitLocked();
}

void RealTimeRunLoop::interruptWaitLocked() {
  // One signal per wait, taken back by the loop once it is awake (under the same lock), so
  // that none is left over to cut the next wait short.
  if (!waiting_ || signalled_) return;
  wake_->signal();
  signalled_ = true;
}

}  // namespace trevalo::platform
