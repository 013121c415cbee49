// The reverse-geocode answer: a place with its venue, address, events, geometry and nested
// alternatives, and the visit record the tracker makes of it and logs.
#include "FuzzSupport.h"
#include "model/TRCachedVisit.h"
#include "model/shape/TRLocation.h"
#include "trevalo/model/TRGeometry.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRVisit.h"
#include "trevalo/model/shape/TRGeometryShape.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto answer = fuzzing::serviceAnswer(data, size);
  if (!answer) return 0;
  const auto place = TRPlace::initWithDictionary(*answer);
  TREVALO_FUZZ_CHECK(place && place->address && place->venue && place->geometry);
  TREVALO_FUZZ_CHECK(place->isEqual(place.get()));
  (void)place->hasValue();
  (void)place->outsideOfUS();
  (void)place->description();
  TREVALO_FUZZ_CHECK(fuzzing::archivesStably(place));

  if (const auto& shape = place->geometry->geometryShape) {
    for (const Coordinate at :
         {place->address->coordinate(), Coordinate{0.0, 0.0}, Coordinate{89.9, -179.9}}) {
      const TRLocation location(Location(at, 0.0, 5.0, -1.0, -1.0, -1.0, Date(0.0)));
      (void)shape->containsLocation(location);
      (void)shape->distanceTo(location);
    }
  }

  const auto visit = TRCachedVisit::initWithResult(place, Date(1767225600.0), true);
  visit->setEndDate(Date(1767229200.5));
  fuzzing::requireSerialisable(visit->dictionaryRepresentation());
  (void)visit->description();
  (void)visit->debugDescription();
  TREVALO_FUZZ_CHECK(fuzzing::archivesStably(visit));
  TREVALO_FUZZ_CHECK(fuzzing::archivesStably(TRVisit::initWithVisit(*visit)));
  return 0;
}
