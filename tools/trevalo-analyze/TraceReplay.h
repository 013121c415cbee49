#pragma once

#include <filesystem>
#include <memory>
#include <ostream>

#include "ReplayPrinter.h"
#include "TraceEvent.h"
#include "analyzer/TRLocationAnalyzer.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace trevalo::tools {

// Drives a fresh analyzer in virtual time from trace events, printing what it reports.
//
// Timing: while an event stamped T is handled the clock reads T. Before it, every timer due
// strictly before T fires, earliest first; timers due exactly at T wait until every event
// stamped T has been handled. Work the analyzer posts to the run loop runs right after the step
// that posted it, at the same time, before any other timer or event.
//
// Installs a simulated platform, starting at `start`, for its lifetime.
class TraceReplay {
 public:
  TraceReplay(std::ostream& out, const std::filesystem::path& documents, Date start);
  ~TraceReplay();
  TraceReplay(const TraceReplay&) = delete;
  TraceReplay& operator=(const TraceReplay&) = delete;

  // `event.t` must not be earlier than the clock.
  void apply(const TraceEvent& event);
  // Fires the timers due at or before `end` and leaves the clock there.
  void finish(Date end);

  Date now() const;

 private:
  void handle(const TraceEvent& event);

  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
  std::shared_ptr<ReplayPrinter> printer_;
  std::shared_ptr<TRLocationAnalyzer> analyzer_;
};

}  // namespace trevalo::tools
