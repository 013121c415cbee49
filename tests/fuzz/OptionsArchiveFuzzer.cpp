// The options of the last start, archived into the user defaults: read from any archive, and
// saved and read again.
#include <nlohmann/json.hpp>

#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "platform/ArchiveFormat.h"
#include "trevalo/platform/UserDefaults.h"
#include "trevalo/utils/TROptions.h"
#include "utils/TRUtils.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzzing::FuzzPlatform platform;
  auto& defaults = platform.platform().userDefaults();
  defaults.setData(std::vector<std::uint8_t>(data, data + size), "__TR_APP_OPTIONS_ON_KEY");
  (void)TRUtils::options();
  defaults.setData(fuzzing::sealedPayload(platform::archive_format::kMagic, data, size),
                   "__TR_APP_OPTIONS_ON_KEY");
  const auto options = TRUtils::options();
  if (!options) return 0;
  TRUtils::saveOptions(options);
  const auto again = TRUtils::options();
  TREVALO_FUZZ_CHECK(again && again->size() == options->size());
  TREVALO_FUZZ_CHECK(Json::to_cbor(again->jsonValues()) == Json::to_cbor(options->jsonValues()));
  TREVALO_FUZZ_CHECK(fuzzing::archivesStably(std::make_shared<TROptions>(*options)));
  return 0;
}
