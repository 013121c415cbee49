#include "trevalo/platform/ThreadPool.h"

#include <algorithm>

namespace trevalo::platform {

ThreadPool::ThreadPool(std::size_t threadCount) {
  const std::size_t count = std::max<std::size_t>(threadCount, 1);
  workers_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) workers_.emplace_back([this] { work(); });
}

ThreadPool::~ThreadPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  available_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void ThreadPool::execute(Task task) {
  {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  available_.notify_one();
}

void ThreadPool::work() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      available_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;  // stopping, and nothing left to do
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    if (task) task();
  }
}

}  // namespace trevalo::platform
