// The home and work answer: two addresses from one map.
#include "FuzzSupport.h"
#include "trevalo/model/TRAddress.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto answer = fuzzing::serviceAnswer(data, size);
  if (!answer) return 0;
  for (const auto& address :
       {TRAddress::homeAddressWithJson(*answer), TRAddress::workAddressWithJson(*answer)}) {
    if (!address) continue;
    (void)address->coordinate();
    TREVALO_FUZZ_CHECK(fuzzing::archivesStably(address));
  }
  return 0;
}
