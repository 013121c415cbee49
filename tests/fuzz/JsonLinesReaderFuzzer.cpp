// A JSON Lines trace of `trevalo replay` (our own format: any fault is refused at its line).
#include "TraceChecks.h"
#include "simulation/JsonLinesReader.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzzing::readSoundly(bytes, simulation::TraceFormat::kJsonLines,
                       simulation::JsonLinesReader::read);
  return 0;
}
