#pragma once

#include <string_view>

#include "simulation/Trace.h"

namespace trevalo::simulation {

// Reads an NMEA 0183 log: the position fixes of RMC and GGA sentences, with speed and course
// from RMC or VTG, altitude from GGA, and dilution of precision from GGA or GSA. Sentences of
// one receiver epoch (one time of day) make one fix; GSA and VTG, which carry no time, belong
// to the epoch they follow. The day comes from RMC or ZDA; a day change without one (past
// midnight) is noticed when the time of day jumps back.
//
// Horizontal accuracy is HDOP times kRangeErrorMeters, the usual dilution-of-precision
// estimate with an assumed user range error; an epoch without HDOP gets kAccuracyWithoutHdop.
//
// Never stops on a sentence: a bad checksum, a missing one, a malformed field or plain
// garbage counts as broken and is skipped; sentences it does not use count as ignored, and
// lines starting with '#' are comments. It stops (TraceReadError) only when fixes have no day
// at all.
class NmeaReader {
 public:
  static constexpr double kRangeErrorMeters = 5.0;
  static constexpr double kAccuracyWithoutHdop = 10.0;
  static constexpr double kKnot = 1852.0 / 3600.0;  // m/s

  static Trace read(std::string_view bytes);
};

}  // namespace trevalo::simulation
