// User values as the application hands them over: stripped, merged, compared, uploaded and
// kept in their files.
#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "trevalo/model/TRUserValues.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto given = fuzzing::serviceAnswer(data, size);
  if (!given) return 0;
  static const fuzzing::FuzzPlatform platform;

  const auto stripped = TRUserValues::initWithDictionary(*given, true);
  const auto whole = TRUserValues::initWithDictionary(*given, false);
  TREVALO_FUZZ_CHECK(stripped->dictionary.is_object() && whole->dictionary.is_object());
  TREVALO_FUZZ_CHECK(stripped->dictionary.size() <= whole->dictionary.size());
  TREVALO_FUZZ_CHECK(stripped->isEqualToUserValues(stripped));

  auto merged = std::make_shared<TRUserValues>(*stripped);
  merged->updateWithNewValues(*given);
  TREVALO_FUZZ_CHECK(merged->dictionary == stripped->dictionary);
  merged->updateWithNewValues(Json{{"age", 31}});
  TREVALO_FUZZ_CHECK(stripped->isEqualToUserValues(stripped));

  for (const auto& values : {stripped, whole, merged}) {
    fuzzing::requireSerialisable(values->toDictionary());
    (void)values->hasInfo();
    (void)values->isValid();
    TREVALO_FUZZ_CHECK(fuzzing::archivesStably(values));
  }

  TREVALO_FUZZ_CHECK(TRUserValues::saveSentUser(merged));
  const auto saved = TRUserValues::getSavedUser();
  TREVALO_FUZZ_CHECK(saved && saved->dictionary == merged->dictionary);
  return 0;
}
