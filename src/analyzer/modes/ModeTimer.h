#pragma once

#include <memory>

#include "analyzer/modes/TRAbstractMode.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/Timer.h"

namespace trevalo::mode_detail {

// A one-shot timer on the platform's run loop that calls `fired` on `mode` if the mode still
// exists by then.
template <class Mode>
std::shared_ptr<platform::Timer> scheduleOneShot(Mode& mode, double seconds,
                                                 void (Mode::*fired)()) {
  return platform::Platform::current().runLoop().scheduleTimer(
      seconds, false, [weak = mode.weak_from_this(), fired] {
        if (const auto self = weak.lock()) (static_cast<Mode&>(*self).*fired)();
      });
}

inline void invalidate(std::shared_ptr<platform::Timer>& timer) {
  if (timer && timer->isValid()) timer->invalidate();
  timer.reset();
}

}  // namespace trevalo::mode_detail
