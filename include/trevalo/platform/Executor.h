#pragma once

#include "trevalo/platform/Task.h"

namespace trevalo::platform {

// Somewhere to run work: a pool of threads in production, the run loop in virtual time.
// Operation queues and the background "global queue" run their work through one.
class Executor {
 public:
  virtual ~Executor() = default;
  virtual void execute(Task task) = 0;
};

}  // namespace trevalo::platform
