#pragma once

#include "trevalo/platform/Operation.h"
#include "trevalo/platform/Task.h"

namespace trevalo::platform {

// A synchronous operation that runs one block.
class BlockOperation final : public Operation {
 public:
  explicit BlockOperation(Task block) : block_(std::move(block)) {}

  void main() override {
    if (block_) block_();
  }

 private:
  Task block_;
};

}  // namespace trevalo::platform
