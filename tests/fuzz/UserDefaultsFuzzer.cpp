// The user-defaults file: read by the store and by the flags, options and identifier kept in
// it, changed, and read again.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "trevalo/platform/UserDefaults.h"
#include "utils/TRUtils.h"

using namespace trevalo;

namespace {

constexpr std::string_view kMagic = "TRUD";

// The keys of the SDK, and those the payload holds when it is a map.
std::vector<std::string> keysOf(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> keys = {"__TR_APP_WAS_RUNNING_ON_KEY", "__TR_APP_GEOFENCE_ON_KEY",
                                   "__TR_APP_OPTIONS_ON_KEY", "_TR_APP_UUID"};
  try {
    const Json payload = Json::from_cbor(data, data + size, true, false);
    if (payload.is_object()) {
      for (const auto& [key, value] : payload.items())
        keys.push_back(key);
    }
  } catch (const Json::exception&) {
    // A map announcing more members than memory holds: the SDK's keys only.
  }
  return keys;
}

// NaN is not equal to itself; the encoded bytes are.
std::optional<std::vector<std::uint8_t>> encoded(const std::optional<Json>& value) {
  if (!value) return std::nullopt;
  return Json::to_cbor(*value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzzing::sealedPayload(kMagic, data, size);
  const fuzzing::FuzzPlatform platform({{"user-defaults", file}});
  (void)TRUtils::wasRunning();
  (void)TRUtils::geofenceOn();
  (void)TRUtils::options();
  (void)TRUtils::IFA();

  const auto path = fuzzing::FuzzPlatform::kDocuments / "other-defaults";
  platform.files().writeFileAtomically(path, std::span<const std::uint8_t>(data, size));
  { (void)platform::UserDefaults(platform.sharedFiles(), path).objectForKey("key"); }

  platform.files().writeFileAtomically(path, file);
  const auto keys = keysOf(data, size);
  std::vector<std::optional<std::vector<std::uint8_t>>> before;
  {
    platform::UserDefaults defaults(platform.sharedFiles(), path);
    for (const auto& key : keys) {
      before.push_back(encoded(defaults.objectForKey(key)));
      (void)defaults.boolForKey(key);
      (void)defaults.stringForKey(key);
      (void)defaults.dataForKey(key);
    }
    defaults.setObject(Json("written"), "fuzz.key");
  }
  // A change rewrites the file; everything else it held is still there.
  const platform::UserDefaults reread(platform.sharedFiles(), path);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] != "fuzz.key")
      TREVALO_FUZZ_CHECK(encoded(reread.objectForKey(keys[i])) == before[i]);
  }
  TREVALO_FUZZ_CHECK(reread.stringForKey("fuzz.key") == "written");
  return 0;
}
