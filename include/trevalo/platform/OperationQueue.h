#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "trevalo/platform/Executor.h"
#include "trevalo/platform/Operation.h"
#include "trevalo/platform/Task.h"

namespace trevalo::platform {

// Runs operations through an executor, at most `maxConcurrentOperationCount` at a time
// (unlimited by default; 1 makes the queue serial, in the order operations were added).
// Each operation is started by the queue once; an operation holds its place while it
// executes. Finished operations leave the queue; an operation that stopped executing without
// finishing stays in `operations()` until someone starts it again and it finishes.
class OperationQueue {
 public:
  static constexpr int kDefaultMaxConcurrentOperationCount = -1;

  // A queue running on the installed platform's operation executor.
  OperationQueue();
  explicit OperationQueue(std::shared_ptr<Executor> executor);
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  void setMaxConcurrentOperationCount(int count);
  int maxConcurrentOperationCount() const;

  void addOperation(std::shared_ptr<Operation> operation);
  void addOperationWithBlock(Task block);

  std::vector<std::shared_ptr<Operation>> operations() const;
  std::size_t operationCount() const;
  void cancelAllOperations();

 private:
  std::shared_ptr<OperationQueueCore> core_;
};

}  // namespace trevalo::platform
