// The venue-search answer: a list of venues, each with its address.
#include "FuzzSupport.h"
#include "trevalo/model/TRPlace.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto answer = fuzzing::serviceAnswer(data, size);
  if (!answer) return 0;
  const auto places = TRPlace::placesWithSearchJson(*answer);
  TREVALO_FUZZ_CHECK(places.size() == (answer->is_array() ? answer->size() : 0));
  for (const auto& place : places) {
    TREVALO_FUZZ_CHECK(place && place->venue);
    (void)place->hasValue();
    (void)place->outsideOfUS();
    (void)place->description();
    TREVALO_FUZZ_CHECK(fuzzing::archivesStably(place));
  }
  return 0;
}
