#include "trevalo/platform/Operation.h"

#include "platform/OperationQueueCore.h"

namespace trevalo::platform {

void Operation::start() {
  if (isFinished() || executing_.exchange(true, std::memory_order_acq_rel)) return;
  if (isCancelled()) {
    willChangeValueForKey("isFinished");
    executing_.store(false, std::memory_order_release);
    finished_.store(true, std::memory_order_release);
    didChangeValueForKey("isFinished");
    return;
  }
  didChangeValueForKey("isExecuting");

  // The operation ends finished even when main() throws, so that a queue never waits on it.
  struct Finish {
    Operation& operation;
    ~Finish() {
      operation.willChangeValueForKey("isExecuting");
      operation.willChangeValueForKey("isFinished");
      operation.executing_.store(false, std::memory_order_release);
      operation.finished_.store(true, std::memory_order_release);
      operation.didChangeValueForKey("isExecuting");
      operation.didChangeValueForKey("isFinished");
    }
  } finish{*this};
  main();
}

void Operation::cancel() {
  cancelled_.store(true, std::memory_order_release);
}

void Operation::willChangeValueForKey(std::string_view) {}

void Operation::didChangeValueForKey(std::string_view) {
  std::shared_ptr<OperationQueueCore> queue;
  {
    const std::lock_guard lock(queueMutex_);
    queue = queue_.lock();
  }
  if (queue) queue->stateChanged();
}

}  // namespace trevalo::platform
