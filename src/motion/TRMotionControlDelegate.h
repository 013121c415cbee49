#pragma once

#include "trevalo/utils/TRActivityMode.h"

namespace trevalo {

// Receives every activity result of the motion control, changed or not, on the platform's run
// loop and in the order the results were produced. Each result makes two calls, one after the
// other: first `processActivityChange` (the facade hands it to its analyzer), then
// `optionalWillChangeActivityMode` (the facade's own notification of the application).
class TRMotionControlDelegate {
 public:
  virtual ~TRMotionControlDelegate() = default;
  virtual void processActivityChange(TRActivityMode mode) = 0;
  virtual void optionalWillChangeActivityMode(TRActivityMode mode) = 0;
};

}  // namespace trevalo
