// A GPX file of `trevalo replay`: any bytes either read as a sound trace or are refused with
// the line of the fault.
#include "TraceChecks.h"
#include "simulation/GpxReader.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzzing::readSoundly(bytes, simulation::TraceFormat::kGpx, simulation::GpxReader::read);
  return 0;
}
