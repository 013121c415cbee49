#include "trevalo/platform/OperationQueue.h"

#include <algorithm>

#include "platform/BlockOperation.h"
#include "platform/OperationQueueCore.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"

namespace trevalo::platform {

void OperationQueueCore::stateChanged() {
  pump();
}

void OperationQueueCore::returnedFromStart(const Operation* operation) {
  {
    const std::lock_guard lock(mutex);
    for (auto& entry : entries) {
      if (entry.operation.get() == operation) entry.insideStart = false;
    }
  }
  pump();
}

void OperationQueueCore::pump() {
  std::vector<std::shared_ptr<Operation>> toStart;
  {
    const std::lock_guard lock(mutex);
    std::erase_if(entries, [](const Entry& e) { return e.operation->isFinished(); });

    auto occupiesSlot = [](const Entry& e) {
      return e.insideStart || (e.startedByQueue && e.operation->isExecuting());
    };
    auto running =
        static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), occupiesSlot));
    for (auto& entry : entries) {
      if (maxConcurrent >= 0 && running >= static_cast<std::size_t>(maxConcurrent)) break;
      if (entry.startedByQueue || entry.operation->isExecuting()) continue;
      entry.startedByQueue = true;
      entry.insideStart = true;
      ++running;
      toStart.push_back(entry.operation);
    }
  }
  const std::weak_ptr<OperationQueueCore> weakSelf = weak_from_this();
  for (auto& operation : toStart) {
    executor->execute([weakSelf, operation] {
      operation->start();
      if (const auto self = weakSelf.lock()) self->returnedFromStart(operation.get());
    });
  }
}

OperationQueue::OperationQueue() : OperationQueue(Platform::current().operationExecutor()) {}

OperationQueue::OperationQueue(std::shared_ptr<Executor> executor)
    : core_(std::make_shared<OperationQueueCore>(std::move(executor))) {}

OperationQueue::~OperationQueue() {
  // Operations already handed to the executor keep running; they just stop reporting here.
  const std::lock_guard lock(core_->mutex);
  for (auto& entry : core_->entries) {
    const std::lock_guard operationLock(entry.operation->queueMutex_);
    entry.operation->queue_.reset();
  }
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
  {
    const std::lock_guard lock(core_->mutex);
    core_->maxConcurrent = count < 0 ? kDefaultMaxConcurrentOperationCount : count;
  }
  core_->pump();
}

int OperationQueue::maxConcurrentOperationCount() const {
  const std::lock_guard lock(core_->mutex);
  return core_->maxConcurrent;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
  if (!operation) throw Exception(Exception::kInvalidArgument, "operation is null");
  {
    const std::lock_guard operationLock(operation->queueMutex_);
    if (!operation->queue_.expired()) {
      throw Exception(Exception::kInvalidArgument, "operation is already in a queue");
    }
    if (operation->isFinished()) {
      throw Exception(Exception::kInvalidArgument, "operation has already finished");
    }
    operation->queue_ = core_;
  }
  {
    const std::lock_guard lock(core_->mutex);
    core_->entries.push_back({std::move(operation)});
  }
  core_->pump();
}

void OperationQueue::addOperationWithBlock(Task block) {
  addOperation(std::make_shared<BlockOperation>(std::move(block)));
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
  const std::lock_guard lock(core_->mutex);
  std::vector<std::shared_ptr<Operation>> result;
  result.reserve(core_->entries.size());
  for (const auto& entry : core_->entries) {
    if (!entry.operation->isFinished()) result.push_back(entry.operation);
  }
  return result;
}

std::size_t OperationQueue::operationCount() const {
  return operations().size();
}

void OperationQueue::cancelAllOperations() {
  for (auto& operation : operations())
    operation->cancel();
}

}  // namespace trevalo::platform
