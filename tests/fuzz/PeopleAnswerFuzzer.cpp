// The people-nearby and people-at-venue answers.
#include "FuzzSupport.h"
#include "trevalo/model/TRPerson.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto answer = fuzzing::serviceAnswer(data, size);
  if (!answer) return 0;
  for (const auto& person : TRPerson::personsWithJson(*answer)) {
    TREVALO_FUZZ_CHECK(person);
    if (person->deviceId) fuzzing::requireSerialisable(Json(*person->deviceId));
  }
  return 0;
}
