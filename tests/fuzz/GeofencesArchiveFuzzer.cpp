// "trGeofences": the geofence manager restored from any file, run over a walk and a drive,
// given its filters again, and the file it then writes read back.
#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "RecordingGeofenceDelegate.h"
#include "analyzer/TRGeofencesManager.h"
#include "platform/ArchiveFormat.h"

using namespace trevalo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzzing::sealedPayload(platform::archive_format::kMagic, data, size);
  const fuzzing::FuzzPlatform platform({{TRGeofencesManager::kArchiveFileName, file}});
  const auto manager = TRGeofencesManager::restoreManager();
  TREVALO_FUZZ_CHECK(manager);
  manager->setFetchGeofences([](auto&&...) {});
  (void)manager->description();

  const auto delegate = std::make_shared<fuzzing::RecordingGeofenceDelegate>();
  manager->updateFilters(manager->filters(), delegate);
  const auto geofences = manager->geofences().value_or(TRGeofencesManager::Geofences{});
  for (const auto& geofence : geofences)
    manager->processNewLocation(geofence->center);
  manager->processNewLocation(manager->center());
  manager->processExit(Coordinate{-12.5, 45.25});
  manager->recalculateMaxDistance();
  TREVALO_FUZZ_CHECK(manager->saveGeofences());

  const auto restored = platform.readBack<TRGeofencesManager>(
      platform.platform().documentsDirectory() / TRGeofencesManager::kArchiveFileName);
  TREVALO_FUZZ_CHECK(restored->filters().size() == manager->filters().size());
  TREVALO_FUZZ_CHECK(restored->currentGeofences().size() == manager->currentGeofences().size());
  TREVALO_FUZZ_CHECK(restored->geofences().has_value() == manager->geofences().has_value());
  return 0;
}
