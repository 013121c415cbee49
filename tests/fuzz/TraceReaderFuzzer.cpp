// Any file handed to `trevalo replay`: the content decides the reader, and what detection
// names is what reading gives (content detection names nothing only for what is refused).
#include "TraceChecks.h"
#include "simulation/TraceReader.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto format = simulation::TraceReader::detect(bytes);
  try {
    const simulation::Trace trace = simulation::TraceReader::read(bytes);
    TREVALO_FUZZ_CHECK(format && trace.format == *format);
    fuzzing::requireSoundTrace(trace);
  } catch (const simulation::TraceReadError& error) {
    TREVALO_FUZZ_CHECK(!error.reason().empty());
  }
  return 0;
}
