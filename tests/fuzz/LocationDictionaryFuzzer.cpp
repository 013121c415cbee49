// The location dictionary: read from any JSON text, written back, and read again.
#include <cmath>
#include <string_view>

#include "FuzzSupport.h"
#include "json/LocationDictionary.h"

using namespace trevalo;

namespace {

bool finite(const Location& location) {
  for (const double value :
       {location.coordinate().latitude, location.coordinate().longitude, location.altitude(),
        location.horizontalAccuracy(), location.verticalAccuracy(), location.course(),
        location.speed(), location.timestamp().timeIntervalSince1970()}) {
    if (!std::isfinite(value)) return false;
  }
  return true;
}

bool same(const Location& a, const Location& b) {
  return a.coordinate().latitude == b.coordinate().latitude &&
         a.coordinate().longitude == b.coordinate().longitude && a.altitude() == b.altitude() &&
         a.horizontalAccuracy() == b.horizontalAccuracy() &&
         a.verticalAccuracy() == b.verticalAccuracy() && a.course() == b.course() &&
         a.speed() == b.speed() &&
         a.timestamp().timeIntervalSince1970() == b.timestamp().timeIntervalSince1970();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Location location = LocationDictionary::initWithJSON(text);
  const Json dictionary = LocationDictionary::dictionaryRepresentation(location);
  fuzzing::requireSerialisable(dictionary);
  const auto json = LocationDictionary::JSONString(location);
  TREVALO_FUZZ_CHECK(json.has_value() == finite(location));
  if (json) {
    // What the SDK writes, it reads back as the same location.
    TREVALO_FUZZ_CHECK(same(LocationDictionary::initWithDictionary(dictionary, false), location));
    TREVALO_FUZZ_CHECK(same(LocationDictionary::initWithJSON(*json), location));
  }
  if (const auto answer = fuzzing::serviceAnswer(data, size)) {
    (void)LocationDictionary::initWithDictionary(*answer, true);
    if (answer->is_array()) {
      for (const Json& element : *answer)
        (void)LocationDictionary::initWithDictionary(element, false);
    }
  }
  return 0;
}
