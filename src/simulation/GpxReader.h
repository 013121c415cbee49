#pragma once

#include <string_view>

#include "simulation/Trace.h"

namespace trevalo::simulation {

// Reads the track points of a GPX file (1.1, and 1.0, whose points may carry speed and
// course directly). A point needs its latitude, longitude and time; it may carry `ele`,
// `hdop`, and, directly or anywhere inside its `extensions`, elements named (after any
// namespace prefix) `speed`, `course` or `bearing`, and `hacc` or `accuracy` (metres).
// Horizontal accuracy is that value, else HDOP times NmeaReader::kRangeErrorMeters, else
// kAccuracyWithoutHdop.
//
// Points are put in time order and of points sharing a time only the first is kept (both
// counted in the notes); points without a usable position or time are skipped with a
// warning. A file that is not well-formed XML, or whose root is not `gpx`, stops with
// TraceReadError at the line of the fault.
class GpxReader {
 public:
  static constexpr double kAccuracyWithoutHdop = 10.0;

  static Trace read(std::string_view bytes);
};

}  // namespace trevalo::simulation
