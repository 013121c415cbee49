// An NMEA 0183 log of `trevalo replay`: broken sentences are skipped, never fatal, so what
// comes out must still be a sound trace.
#include "TraceChecks.h"
#include "simulation/NmeaReader.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzzing::readSoundly(bytes, simulation::TraceFormat::kNmea, simulation::NmeaReader::read);
  return 0;
}
