// "saveduser", "faileduser" and "userstats": user values restored from any file, merged,
// uploaded and saved again.
#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "platform/ArchiveFormat.h"
#include "trevalo/model/TRUserValues.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzzing::sealedPayload(platform::archive_format::kMagic, data, size);
  const fuzzing::FuzzPlatform platform(
      {{"saveduser", file}, {"faileduser", file}, {"userstats", file}});
  const auto sent = TRUserValues::getSavedUser();
  const auto failed = TRUserValues::getFailedUser();
  const auto stats = TRUserValues::getCurrentStats();
  TREVALO_FUZZ_CHECK(!sent == !failed && !sent == !stats);
  if (!sent) return 0;
  TREVALO_FUZZ_CHECK(sent->dictionary.is_object());

  (void)stats->isValid();
  (void)sent->isEqualToUserValues(failed);
  (void)sent->hasInfo();
  fuzzing::requireSerialisable(sent->toDictionary());
  failed->updateWithNewValues(Json{{"name", "Ann"}, {"age", 30}});
  fuzzing::requireSerialisable(failed->toDictionary());
  TREVALO_FUZZ_CHECK(TRUserValues::saveFailedUser(failed));
  const auto again = TRUserValues::getFailedUser();
  TREVALO_FUZZ_CHECK(again && again->dictionary == failed->dictionary);
  return 0;
}
