#pragma once

#include <cmath>
#include <string_view>

#include "FuzzSupport.h"
#include "simulation/Trace.h"
#include "simulation/TraceReadError.h"

// What every trace reader promises of the trace it returns, whatever the bytes: the player
// sorts nothing and trusts each list to be in time order, each fix to stand somewhere on Earth
// at a real instant, and the fixes to have distinct times.
namespace trevalo::fuzzing {

inline bool finiteTime(Date time) {
  return std::isfinite(time.timeIntervalSince1970());
}

template <class Records, class TimeOf>
bool inTimeOrder(const Records& records, TimeOf timeOf) {
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!finiteTime(timeOf(records[i]))) return false;
    if (i > 0 && timeOf(records[i]) < timeOf(records[i - 1])) return false;
  }
  return true;
}

inline void requireSoundTrace(const simulation::Trace& trace) {
  for (std::size_t i = 0; i < trace.fixes.size(); ++i) {
    const Location& fix = trace.fixes[i];
    TREVALO_FUZZ_CHECK(fix.coordinate().isValid());
    TREVALO_FUZZ_CHECK(finiteTime(fix.timestamp()));
    TREVALO_FUZZ_CHECK(std::isfinite(fix.horizontalAccuracy()));
    TREVALO_FUZZ_CHECK(std::isfinite(fix.altitude()) && std::isfinite(fix.verticalAccuracy()));
    TREVALO_FUZZ_CHECK(std::isfinite(fix.speed()) && std::isfinite(fix.course()));
    TREVALO_FUZZ_CHECK(i == 0 || trace.fixes[i - 1].timestamp() < fix.timestamp());
  }
  TREVALO_FUZZ_CHECK(
      inTimeOrder(trace.accelerometer, [](const auto& sample) { return sample.time; }));
  TREVALO_FUZZ_CHECK(
      inTimeOrder(trace.headings, [](const auto& heading) { return heading.timestamp; }));
  TREVALO_FUZZ_CHECK(inTimeOrder(trace.wifi, [](const auto& change) { return change.time; }));
  TREVALO_FUZZ_CHECK(inTimeOrder(trace.activities, [](const auto& report) { return report.time; }));
  TREVALO_FUZZ_CHECK(
      inTimeOrder(trace.regions, [](const auto& crossing) { return crossing.time; }));
  TREVALO_FUZZ_CHECK(trace.notes.warnings.size() <= simulation::ReadingNotes::kMaxWarnings);
  TREVALO_FUZZ_CHECK(trace.empty() == !trace.start().has_value());
  TREVALO_FUZZ_CHECK(trace.empty() || *trace.start() <= *trace.end());
}

// Reads `bytes` with `read`, which may refuse them only with TraceReadError (any other
// exception escapes and stops the fuzzer); a refusal names a line within the input.
template <class Read>
void readSoundly(std::string_view bytes, simulation::TraceFormat format, Read read) {
  try {
    const simulation::Trace trace = read(bytes);
    TREVALO_FUZZ_CHECK(trace.format == format);
    requireSoundTrace(trace);
  } catch (const simulation::TraceReadError& error) {
    TREVALO_FUZZ_CHECK(!error.reason().empty());
  }
}

}  // namespace trevalo::fuzzing
