#pragma once

#include "trevalo/platform/MotionActivityManager.h"

namespace trevalo::platform {

// The activity classifier of a machine without one (Linux has none): unavailable, and a
// started stream never reports anything.
class SilentMotionActivityManager final : public MotionActivityManager {
 public:
  bool isActivityAvailable() const override { return false; }
  void startActivityUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                   ActivityHandler handler) override;
  void stopActivityUpdates() override {}
};

}  // namespace trevalo::platform
