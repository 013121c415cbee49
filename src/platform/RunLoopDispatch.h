#pragma once

#include <memory>

#include "trevalo/platform/Platform.h"

namespace trevalo::platform {

// Runs `work` on `object` on the installed platform's run loop: at once when the caller is on
// it, otherwise as a posted task that holds the object weakly (an object gone by then is left
// alone). For objects whose state belongs to the run loop but whose operations may be called
// from any thread.
template <class T>
void performOnRunLoop(T& object, void (T::*work)()) {
  RunLoop& runLoop = Platform::current().runLoop();
  if (runLoop.isCurrent()) {
    (object.*work)();
    return;
  }
  runLoop.post([weak = std::weak_ptr<T>(object.weak_from_this()), work] {
    if (const auto self = weak.lock()) ((*self).*work)();
  });
}

}  // namespace trevalo::platform
