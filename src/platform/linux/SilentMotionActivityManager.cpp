#include "platform/linux/SilentMotionActivityManager.h"

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

void SilentMotionActivityManager::startActivityUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                              ActivityHandler handler) {
  if (!queue || !handler) {
    throw Exception(Exception::kInvalidArgument, "activity updates need a queue and a handler");
  }
}

}  // namespace trevalo::platform
