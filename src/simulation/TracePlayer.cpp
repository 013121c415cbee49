#include "simulation/TracePlayer.h"

#include <algorithm>
#include <utility>

namespace trevalo::simulation {

namespace {

template <class Record, class TimeOf>
void consider(const std::vector<Record>& records, std::size_t next, TimeOf timeOf,
              std::optional<Date>& earliest) {
  if (next >= records.size()) return;
  const Date time = timeOf(records[next]);
  if (!earliest || time < *earliest) earliest = time;
}

// Hands over the records of `list` stamped `instant`, moving `next` past them.
template <class Record, class TimeOf, class Deliver>
std::size_t deliverAt(const std::vector<Record>& records, std::size_t& next, TimeOf timeOf,
                      Date instant, Deliver deliver) {
  std::size_t count = 0;
  while (next < records.size() && timeOf(records[next]) <= instant) {
    deliver(records[next++]);
    ++count;
  }
  return count;
}

template <class Record>
Date timeOfRecord(const Record& record) {
  return record.time;
}

Date timeOfFix(const Location& fix) {
  return fix.timestamp();
}

Date timeOfHeading(const platform::Heading& heading) {
  return heading.timestamp;
}

Date timeOfSegment(const MotionPlan::Segment& segment) {
  return segment.start;
}

}  // namespace

TracePlayer::TracePlayer(std::shared_ptr<const Trace> trace, platform::VirtualTimeRunLoop& runLoop,
                         TraceSink& sink)
    : trace_(std::move(trace)), runLoop_(runLoop), sink_(sink) {
  if (trace_->accelerometer.empty()) motionPlan_ = MotionPlan::plan(trace_->fixes);
}

std::optional<Date> TracePlayer::nextTime() const {
  std::optional<Date> earliest;
  consider(trace_->wifi, next_.wifi, timeOfRecord<WifiChange>, earliest);
  consider(trace_->activities, next_.activity, timeOfRecord<ActivityReport>, earliest);
  consider(trace_->regions, next_.region, timeOfRecord<RegionCrossing>, earliest);
  consider(motionPlan_, next_.motion, timeOfSegment, earliest);
  consider(trace_->accelerometer, next_.accelerometer, timeOfRecord<AccelerometerSample>, earliest);
  consider(trace_->headings, next_.heading, timeOfHeading, earliest);
  consider(trace_->fixes, next_.fix, timeOfFix, earliest);
  return earliest;
}

bool TracePlayer::playNextInstant() {
  const auto instant = nextTime();
  if (!instant) return false;
  const Date now = runLoop_.virtualClock().now();
  const Date at = std::max(*instant, now);
  runLoop_.advanceToJustBefore(at);
  handOver(*instant);
  // With the clock already at `at`, this runs only what the hand-over posted.
  runLoop_.advanceToJustBefore(at);
  return true;
}

void TracePlayer::handOver(Date instant) {
  const Trace& trace = *trace_;
  played_ += deliverAt(trace.wifi, next_.wifi, timeOfRecord<WifiChange>, instant,
                       [&](const WifiChange& change) { sink_.wifi(change.ssid); });
  played_ += deliverAt(trace.activities, next_.activity, timeOfRecord<ActivityReport>, instant,
                       [&](const ActivityReport& report) { sink_.activity(report.activity); });
  played_ += deliverAt(trace.regions, next_.region, timeOfRecord<RegionCrossing>, instant,
                       [&](const RegionCrossing& crossing) { sink_.region(crossing); });
  deliverAt(motionPlan_, next_.motion, timeOfSegment, instant,
            [&](const MotionPlan::Segment& segment) {
              const double seconds = segment.end.timeIntervalSinceDate(segment.start);
              sink_.motion(segment.pattern, MotionPlan::script(segment.pattern, seconds));
            });
  played_ +=
      deliverAt(trace.accelerometer, next_.accelerometer, timeOfRecord<AccelerometerSample>,
                instant, [&](const AccelerometerSample& sample) { sink_.accelerometer(sample); });
  played_ += deliverAt(trace.headings, next_.heading, timeOfHeading, instant,
                       [&](const platform::Heading& heading) { sink_.heading(heading); });
  played_ += deliverAt(trace.fixes, next_.fix, timeOfFix, instant,
                       [&](const Location& fix) { sink_.fix(fix); });
}

void TracePlayer::playUntil(Date end) {
  while (const auto next = nextTime()) {
    if (*next > end) break;
    playNextInstant();
  }
  if (end > runLoop_.virtualClock().now()) runLoop_.advanceTo(end);
}

void TracePlayer::playToEnd() {
  while (playNextInstant()) {
  }
  runLoop_.advanceTo(runLoop_.virtualClock().now());
}

}  // namespace trevalo::simulation
