#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string_view>

namespace trevalo::platform {

struct OperationQueueCore;

// A unit of work for an OperationQueue. The base class is a synchronous operation: `start`
// runs `main` on the queue's thread and the operation is finished when `main` returns.
//
// Asynchronous operations override `start`, `isExecuting` and `isFinished` with state of their
// own and announce every change of that state with willChangeValueForKey/didChangeValueForKey
// ("isExecuting", "isFinished"); the queue drops an operation once it reports finished, and
// keeps an unfinished one (a failed operation can be started again).
//
// The queue reads `isExecuting` and `isFinished` while holding its own lock: overrides must
// not block or take locks of their own.
class Operation : public std::enable_shared_from_this<Operation> {
 public:
  Operation() = default;
  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  virtual void start();
  virtual void main() {}

  virtual bool isExecuting() const { return executing_.load(std::memory_order_acquire); }
  virtual bool isFinished() const { return finished_.load(std::memory_order_acquire); }
  virtual bool isAsynchronous() const { return false; }

  bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }
  // Marks the operation cancelled; a cancelled operation that has not started finishes at once
  // when started, without running.
  virtual void cancel();

 protected:
  void willChangeValueForKey(std::string_view key);
  void didChangeValueForKey(std::string_view key);

 private:
  friend class OperationQueue;

  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};

  mutable std::mutex queueMutex_;
  std::weak_ptr<OperationQueueCore> queue_;
};

}  // namespace trevalo::platform
