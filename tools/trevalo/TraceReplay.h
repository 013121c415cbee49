#pragma once

#include <filesystem>
#include <memory>
#include <ostream>

#include "ReplayPrinter.h"
#include "analyzer/TRLocationAnalyzer.h"
#include "simulation/JsonTraceLine.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace trevalo::tools {

// Drives a fresh analyzer in virtual time from the lines of a trace, printing what it reports.
// The analyzer alone has no sensors or monitored regions: accelerometer, heading and
// region-entry lines pass by it.
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

  // `line.time` must not be earlier than the clock.
  void apply(const simulation::JsonTraceLine& line);
  // Fires the timers due at or before `end` and leaves the clock there.
  void finish(Date end);

  Date now() const;

 private:
  void handle(const simulation::JsonTraceLine& line);

  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
  std::shared_ptr<ReplayPrinter> printer_;
  std::shared_ptr<TRLocationAnalyzer> analyzer_;
};

}  // namespace trevalo::tools
