#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "trevalo/platform/Task.h"
#include "trevalo/platform/Timer.h"

namespace trevalo::platform {

// The shared state of a run loop: its task queue and its timers, ordered by (fire time,
// scheduling order). Timers point back here weakly, so a timer outliving its loop is harmless.
struct RunLoopCore {
  using TimerKey = std::pair<double, std::uint64_t>;

  std::mutex mutex;
  std::deque<Task> tasks;
  std::map<TimerKey, std::shared_ptr<Timer>> timers;
  std::uint64_t nextSequence = 1;
  std::atomic<std::thread::id> owner{std::this_thread::get_id()};

  // Removes an invalidated timer from the schedule.
  void remove(const Timer& timer);
};

}  // namespace trevalo::platform
