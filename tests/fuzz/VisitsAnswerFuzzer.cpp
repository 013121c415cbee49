// The prior-visits answer.
#include "FuzzSupport.h"
#include "trevalo/model/TRVisit.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto answer = fuzzing::serviceAnswer(data, size);
  if (!answer) return 0;
  for (const auto& visit : TRVisit::visitsWithJson(*answer)) {
    TREVALO_FUZZ_CHECK(visit && visit->place && visit->arrivalDate);
    TREVALO_FUZZ_CHECK(fuzzing::archivesStably(visit));
  }
  return 0;
}
