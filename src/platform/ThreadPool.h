#pragma once

#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "trevalo/platform/Executor.h"

namespace trevalo::platform {

// A fixed set of worker threads taking tasks in FIFO order. The destructor lets the workers
// finish what was already queued, then joins them. It may also run on one of the workers (when
// a task drops the last reference to the pool); that worker then finishes on its own.
class ThreadPool final : public Executor {
 public:
  explicit ThreadPool(std::size_t threadCount);
  ~ThreadPool() override;
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  void execute(Task task) override;

 private:
  struct State;
  static void work(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::vector<std::thread> workers_;
};

}  // namespace trevalo::platform
