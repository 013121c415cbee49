#include "platform/ThreadPool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace trevalo::platform {

struct ThreadPool::State {
  std::mutex mutex;
  std::condition_variable available;
  std::deque<Task> tasks;
  bool stopping = false;
};

ThreadPool::ThreadPool(std::size_t threadCount) : state_(std::make_shared<State>()) {
  const std::size_t count = std::max<std::size_t>(threadCount, 1);
  workers_.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    workers_.emplace_back(work, state_);
}

ThreadPool::~ThreadPool() {
  {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->available.notify_all();
  for (auto& worker : workers_) {
    if (worker.get_id() == std::this_thread::get_id()) {
      worker.detach();  // keeps the shared state alive until it has drained the queue
    } else {
      worker.join();
    }
  }
}

void ThreadPool::execute(Task task) {
  {
    const std::lock_guard lock(state_->mutex);
    state_->tasks.push_back(std::move(task));
  }
  state_->available.notify_one();
}

void ThreadPool::work(const std::shared_ptr<State>& state) {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(state->mutex);
      state->available.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
      if (state->tasks.empty()) return;  // stopping, and nothing left to do
      task = std::move(state->tasks.front());
      state->tasks.pop_front();
    }
    if (task) task();
  }
}

}  // namespace trevalo::platform
