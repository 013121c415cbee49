// The options of the last start, archived into the user defaults: read from any archive, and
// saved and read again.
#include <nlohmann/json.hpp>

#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "platform/ArchiveFormat.h"
#include "trevalo/platform/UserDefaults.h"
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
  TREVALO_FUZZ_CHECK(again && Json::to_cbor(*again) == Json::to_cbor(*options));
  return 0;
}
