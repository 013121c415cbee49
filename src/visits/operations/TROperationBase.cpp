#include "visits/operations/TROperationBase.h"

#include "networking/TRNetworkClient.h"
#include "trevalo/platform/Platform.h"
#include "utils/TRUtils.h"
#include "visits/operations/MetaOperationBase.h"

namespace trevalo {

TROperationBase::TROperationBase(std::shared_ptr<TRNetworkClient> networkClient,
                                 std::weak_ptr<TROperationDelegate> delegate,
                                 std::shared_ptr<MetaOperationBase> operation)
    : networkClient_(std::move(networkClient)),
      metaOperation_(std::move(operation)),
      delegate_(std::move(delegate)) {
  if (!metaOperation_) {
    throw Exception(Exception::kInvalidArgument, "an operation needs its descriptor");
  }
  const auto& services = platform::Platform::current().services();
  runLoop_ = services.runLoop;
  globalQueue_ = services.globalQueue;
}

void TROperationBase::start() {
  const std::lock_guard lock(lock_);
  if (isExecuting() || isFinished()) return;
  if (isCancelled()) {
    willChangeValueForKey("isFinished");
    finished_.store(true, std::memory_order_release);
    didChangeValueForKey("isFinished");
    return;
  }
  willChangeValueForKey("isExecuting");
  executing_.store(true, std::memory_order_release);
  didChangeValueForKey("isExecuting");
  execute();
}

void TROperationBase::main() {
  throw Exception(kMainCalledException);
}

void TROperationBase::execute() {
  throw Exception(kAbstractMethodException);
}

void TROperationBase::completeOperation(bool success) {
  const std::lock_guard lock(lock_);
  const auto globalQueue = globalQueue_.lock();
  if (!globalQueue) return;  // the platform is gone
  globalQueue->execute([self = sharedAs<TROperationBase>(), success] {
    self->willChangeValueForKey("isFinished");
    self->willChangeValueForKey("isExecuting");
    self->executing_.store(false, std::memory_order_release);
    self->finished_.store(success, std::memory_order_release);
    if (success) {
      if (const auto runLoop = self->runLoop_.lock()) {
        runLoop->post([delegate = self->delegate_, descriptor = self->metaOperation_] {
          if (const auto tracker = delegate.lock()) tracker->removeFromOperation(descriptor);
        });
      }
    }
    self->didChangeValueForKey("isExecuting");
    self->didChangeValueForKey("isFinished");
  });
}

void TROperationBase::postToRunLoop(platform::Task task) const {
  if (const auto runLoop = runLoop_.lock()) runLoop->post(std::move(task));
}

Error TROperationBase::errorForRefusedRequest(const Exception& exception) {
  constexpr std::int64_t kNotRunning = -9998;
  constexpr std::int64_t kUnknown = -888;
  return TRUtils::errorWithCode(
      exception.name() == TRNetworkClient::kMissingApiKeyException ? kNotRunning : kUnknown);
}

}  // namespace trevalo
