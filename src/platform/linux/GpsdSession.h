#pragma once

#include "platform/linux/GpsdFix.h"

namespace trevalo::platform {

// One connection to gpsd, watching its reports: the seam between the receiver's loop and the
// library that speaks gpsd's protocol. Closed when destroyed.
class GpsdSession {
 public:
  enum class Read {
    kFix,      // a position report with a fix, in `fix`
    kOther,    // anything else (version, devices, sky view, a report without a fix)
    kNothing,  // nothing came within the time given
    kLost,     // the connection is gone
  };

  GpsdSession() = default;
  virtual ~GpsdSession() = default;
  GpsdSession(const GpsdSession&) = delete;
  GpsdSession& operator=(const GpsdSession&) = delete;

  // Connects and asks for the reports; false when gpsd cannot be reached.
  virtual bool open() = 0;
  // Waits at most `timeoutSeconds` for the next report; 0 only takes what has come.
  virtual Read read(double timeoutSeconds, GpsdFix& fix) = 0;
  // The open connection's descriptor, for a run loop to wait on; -1 when there is none to
  // wait on (the session is then read by blocking reads).
  virtual int descriptor() const { return -1; }
};

}  // namespace trevalo::platform
