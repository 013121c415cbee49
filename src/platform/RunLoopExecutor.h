#pragma once

#include <memory>

#include "trevalo/platform/Executor.h"
#include "trevalo/platform/RunLoop.h"

namespace trevalo::platform {

// Runs work as posted tasks of a run loop. In virtual time every queue uses one of these, so
// the whole SDK runs on the one driving thread, deterministically.
class RunLoopExecutor final : public Executor {
 public:
  explicit RunLoopExecutor(std::shared_ptr<RunLoop> runLoop) : runLoop_(std::move(runLoop)) {}

  void execute(Task task) override { runLoop_->post(std::move(task)); }

 private:
  std::shared_ptr<RunLoop> runLoop_;
};

}  // namespace trevalo::platform
