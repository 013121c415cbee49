#pragma once

namespace trevalo {

// Told of every tick of the keep-alive loop, on the platform's run loop.
class TRKeepAliveLoopDelegate {
 public:
  virtual ~TRKeepAliveLoopDelegate() = default;
  virtual void newLoopProcessed() = 0;
};

}  // namespace trevalo
