#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "simulation/MotionPlan.h"
#include "simulation/Trace.h"
#include "simulation/TraceSink.h"
#include "trevalo/platform/simulated/VirtualTimeRunLoop.h"

namespace trevalo::simulation {

// Plays a trace into a sink on a virtual-time run loop, each record at its own time, with the
// run loop's timers firing in between as they fall due.
//
// Timing: while records stamped T are handed over the clock reads T. Before them, every timer
// due strictly before T fires, earliest first; timers due exactly at T wait until every record
// stamped T has been handed over. Work the sink posts to the run loop runs right after each
// instant, at that instant, before anything later. Records of one instant go in this order:
// Wi-Fi, activity, region crossings, motion, accelerometer, heading, fix (so a fix meets the
// sensors and the network of its own moment).
//
// A trace without accelerometer readings gets motion patterns from MotionPlan: one `motion`
// call at the start of each of its segments.
//
// A record earlier than the clock (a run loop started late) is handed over at once.
class TracePlayer {
 public:
  TracePlayer(std::shared_ptr<const Trace> trace, platform::VirtualTimeRunLoop& runLoop,
              TraceSink& sink);

  // When the next record is due; nothing once every record was handed over.
  std::optional<Date> nextTime() const;
  // Hands over every record of the next instant (after the timers due before it). False when
  // nothing was left.
  bool playNextInstant();
  // Plays every record stamped at or before `end`, then lets the clock run on to `end`
  // (timers due at `end` fire).
  void playUntil(Date end);
  // Plays every record, then fires the timers due at the last record's time.
  void playToEnd();

  std::size_t recordsPlayed() const noexcept { return played_; }
  const std::vector<MotionPlan::Segment>& motionPlan() const noexcept { return motionPlan_; }

 private:
  struct Cursors {
    std::size_t wifi = 0, activity = 0, region = 0, motion = 0, accelerometer = 0, heading = 0,
                fix = 0;
  };

  void handOver(Date instant);

  std::shared_ptr<const Trace> trace_;
  platform::VirtualTimeRunLoop& runLoop_;
  TraceSink& sink_;
  std::vector<MotionPlan::Segment> motionPlan_;
  Cursors next_;
  std::size_t played_ = 0;
};

}  // namespace trevalo::simulation
