#include "strategies/TRKeepAliveLoop.h"

#include <atomic>
#include <utility>

#include "platform/RunLoopDispatch.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/Timer.h"

namespace trevalo {

namespace {

using platform::Application;
using platform::BackgroundTaskIdentifier;
using platform::kInvalidBackgroundTask;

void endTask(const std::weak_ptr<Application>& application, BackgroundTaskIdentifier task) {
  if (task == kInvalidBackgroundTask) return;
  if (const auto owner = application.lock()) owner->endBackgroundTask(task);
}

}  // namespace

std::shared_ptr<TRKeepAliveLoop> TRKeepAliveLoop::make() {
  return std::make_shared<TRKeepAliveLoop>(Key{});
}

TRKeepAliveLoop::TRKeepAliveLoop(Key) {}

TRKeepAliveLoop::~TRKeepAliveLoop() {
  if (loopTimer_) loopTimer_->invalidate();
  endTask(taskApplication_, taskId_);
}

void TRKeepAliveLoop::setDelegate(std::weak_ptr<TRKeepAliveLoopDelegate> delegate) {
  const std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void TRKeepAliveLoop::start() {
  processLoop();
}

void TRKeepAliveLoop::processLoop() {
  platform::performOnRunLoop(*this, &TRKeepAliveLoop::processLoopOnMain);
}

void TRKeepAliveLoop::stop() {
  platform::performOnRunLoop(*this, &TRKeepAliveLoop::stopOnMain);
}

BackgroundTaskIdentifier TRKeepAliveLoop::taskId() const {
  const std::lock_guard lock(mutex_);
  return taskId_;
}

void TRKeepAliveLoop::processLoopOnMain() {
  const std::shared_ptr<Application>& application =
      platform::Platform::current().services().application;
  const std::weak_ptr<Application> weakApplication = application;

  // The expiration handler may run on any thread, also after this loop is gone: it touches
  // nothing but the application (weakly, as the application keeps the handler) and its own
  // task. It learns the task's identifier only once the platform has handed it out; expiring
  // before that, it has nothing to end yet and the next tick or stop ends the task.
  const auto ownTask =
      std::make_shared<std::atomic<BackgroundTaskIdentifier>>(kInvalidBackgroundTask);
  const BackgroundTaskIdentifier task =
      application->beginBackgroundTaskWithExpirationHandler([weakApplication, ownTask] {
        endTask(weakApplication, ownTask->load(std::memory_order_acquire));
      });
  ownTask->store(task, std::memory_order_release);

  BackgroundTaskIdentifier previousTask;
  std::weak_ptr<Application> previousApplication;
  std::uint64_t generation;
  {
    const std::lock_guard lock(mutex_);
    previousTask = std::exchange(taskId_, task);
    previousApplication = std::exchange(taskApplication_, weakApplication);
    if (loopTimer_) {
      loopTimer_->invalidate();
      loopTimer_.reset();
    }
    generation = ++tickGeneration_;
  }
  // Asked for even if the older task has already expired: ending a finished task is harmless,
  // and the platform is told every time which task the loop lets go of.
  endTask(previousApplication, previousTask);

  if (const auto delegate = lockedDelegate()) delegate->newLoopProcessed();

  const std::lock_guard lock(mutex_);
  if (generation != tickGeneration_) return;
  loopTimer_ = platform::Platform::current().runLoop().scheduleTimer(
      kLoopInterval, false, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->processLoopOnMain();
      });
}

void TRKeepAliveLoop::stopOnMain() {
  BackgroundTaskIdentifier task;
  std::weak_ptr<Application> application;
  {
    const std::lock_guard lock(mutex_);
    ++tickGeneration_;
    task = std::exchange(taskId_, kInvalidBackgroundTask);
    application = std::exchange(taskApplication_, {});
    if (loopTimer_) {
      loopTimer_->invalidate();
      loopTimer_.reset();
    }
  }
  endTask(application, task);
}

std::shared_ptr<TRKeepAliveLoopDelegate> TRKeepAliveLoop::lockedDelegate() const {
  const std::lock_guard lock(mutex_);
  return delegate_.lock();
}

}  // namespace trevalo
