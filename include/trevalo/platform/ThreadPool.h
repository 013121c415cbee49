#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "trevalo/platform/Executor.h"

namespace trevalo::platform {

// A fixed set of worker threads taking tasks in FIFO order. The destructor lets the workers
// finish what was already queued, then joins them.
class ThreadPool final : public Executor {
 public:
  explicit ThreadPool(std::size_t threadCount);
  ~ThreadPool() override;
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  void execute(Task task) override;

 private:
  void work();

  std::mutex mutex_;
  std::condition_variable available_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace trevalo::platform
