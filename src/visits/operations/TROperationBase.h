#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Executor.h"
#include "trevalo/platform/Operation.h"
#include "trevalo/platform/RunLoop.h"
#include "visits/operations/TROperationDelegate.h"

namespace trevalo {

class MetaOperationBase;
class TRNetworkClient;

// An asynchronous operation carrying out one visit descriptor on the tracker's operation queue.
//
// `start` sets the operation executing and calls `execute`, under the operation's own lock;
// the kind's `execute` sends its request and, when the answer arrives (on the run loop), reports
// to the delegate and then calls `completeOperation`. Completion changes the two flags later,
// on the platform's global queue: a success ends the operation finished (the queue drops it)
// and has the delegate drop the descriptor, on the run loop; a failure ends it neither
// executing nor finished, so it stays in the queue and a later `start` runs it again.
//
// The flags are lock-free atomics, as the queue reads them under its own lock.
class TROperationBase : public platform::Operation {
 public:
  // Names of the Exceptions raised by `main` and by the base's `execute`.
  static constexpr const char* kMainCalledException =
      "This is async operation but main method was called";
  static constexpr const char* kAbstractMethodException = "This is abstract method";

  TROperationBase(std::shared_ptr<TRNetworkClient> networkClient,
                  std::weak_ptr<TROperationDelegate> delegate,
                  std::shared_ptr<MetaOperationBase> operation);

  void start() override;
  [[noreturn]] void main() override;

  bool isExecuting() const override { return executing_.load(std::memory_order_acquire); }
  bool isFinished() const override { return finished_.load(std::memory_order_acquire); }
  bool isAsynchronous() const override { return true; }
  bool isConcurrent() const { return true; }

  const std::shared_ptr<TRNetworkClient>& networkClient() const noexcept { return networkClient_; }
  const std::shared_ptr<MetaOperationBase>& metaOperation() const noexcept {
    return metaOperation_;
  }
  std::shared_ptr<TROperationDelegate> delegate() const { return delegate_.lock(); }

  virtual std::string description() const = 0;

 protected:
  // Sends the kind's request. Called by `start` with the lock held.
  virtual void execute();
  void completeOperation(bool success);

  // Runs `task` on the run loop, where the delegate is told of outcomes.
  void postToRunLoop(platform::Task task) const;
  // The error reported for a request the network client refused to send: error -9998 (the SDK
  // is not started) for a missing token, the catch-all error otherwise.
  static Error errorForRefusedRequest(const Exception& exception);

  template <class T>
  std::shared_ptr<T> sharedAs() {
    return std::static_pointer_cast<T>(shared_from_this());
  }

 private:
  std::shared_ptr<TRNetworkClient> networkClient_;
  std::shared_ptr<MetaOperationBase> metaOperation_;
  std::weak_ptr<TROperationDelegate> delegate_;
  // Weak: the run loop's own tasks hold operations.
  std::weak_ptr<platform::RunLoop> runLoop_;
  std::weak_ptr<platform::Executor> globalQueue_;

  // Recursive, so that an answer delivered synchronously from inside `execute` cannot
  // deadlock.
  std::recursive_mutex lock_;
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace trevalo
