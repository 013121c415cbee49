#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "trevalo/platform/Executor.h"
#include "trevalo/platform/Operation.h"

namespace trevalo::platform {

// The state of an operation queue, shared with the operations it holds (they report their
// state changes here) and with the work it handed to the executor.
struct OperationQueueCore : std::enable_shared_from_this<OperationQueueCore> {
  struct Entry {
    std::shared_ptr<Operation> operation;
    bool startedByQueue = false;
    bool insideStart = false;  // handed to the executor and its start() has not returned yet
  };

  explicit OperationQueueCore(std::shared_ptr<Executor> executor) : executor(std::move(executor)) {}

  // An operation announced a state change: drop finished operations, start what now fits.
  void stateChanged();
  void returnedFromStart(const Operation* operation);
  void pump();

  std::shared_ptr<Executor> executor;
  mutable std::mutex mutex;
  std::vector<Entry> entries;  // in the order the operations were added
  int maxConcurrent = -1;
};

}  // namespace trevalo::platform
