// The geofences answer, as the geofence manager stores, saves, restores and tests it, and the
// geometry maps (points, polygons, multi-polygons) that answers carry.
#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "RecordingGeofenceDelegate.h"
#include "analyzer/TRGeofencesManager.h"
#include "json/ParserUtils.h"
#include "model/shape/TRLocation.h"
#include "trevalo/model/TRGeofence.h"
#include "trevalo/model/TRGeometry.h"
#include "trevalo/model/shape/TRGeometryShape.h"

using namespace trevalo;

namespace {

void testGeometry(const Json* map, Coordinate near) {
  const auto geometry = TRGeometry::initWithDictionary(map);
  TREVALO_FUZZ_CHECK(geometry);
  TREVALO_FUZZ_CHECK(fuzzing::archivesStably(geometry));
  if (!geometry->geometryShape) return;
  for (const Coordinate at : {near, Coordinate{0.0, 0.0}, Coordinate{-45.0, 179.99}}) {
    const TRLocation location(Location(at, 0.0, 5.0, -1.0, -1.0, -1.0, Date(0.0)));
    (void)geometry->geometryShape->containsLocation(location);
    (void)geometry->geometryShape->distanceTo(location);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto answer = fuzzing::serviceAnswer(data, size);
  if (!answer) return 0;
  auto geofences = TRGeofence::geofencesWithJson(*answer);
  TREVALO_FUZZ_CHECK(geofences.has_value() == answer->is_array());

  testGeometry(&*answer, Coordinate{1.0, 1.0});
  if (answer->is_array()) {
    for (const Json& element : *answer)
      testGeometry(ParserUtils::map(element, "geometry"), Coordinate{1.0, 1.0});
  }
  if (geofences) {
    for (const auto& geofence : *geofences) {
      TREVALO_FUZZ_CHECK(geofence);
      (void)geofence->description();
      TREVALO_FUZZ_CHECK(fuzzing::archivesStably(geofence));
    }
  }

  const fuzzing::FuzzPlatform platform;
  auto filter = std::make_shared<TRFilter>();
  filter->venueName = "coffee";
  filter->radius = 100.0;
  const auto delegate = std::make_shared<fuzzing::RecordingGeofenceDelegate>();
  const auto manager = TRGeofencesManager::make();
  manager->setFetchGeofences([](auto&&...) {});
  manager->updateFilters({filter}, delegate);
  const Coordinate center{40.7, -73.9};
  manager->updateGeofences(geofences, center);
  std::vector<Coordinate> centers;
  for (const auto& geofence : manager->geofences().value_or(TRGeofencesManager::Geofences{}))
    centers.push_back(geofence->center);
  for (const Coordinate at : centers)
    manager->processNewLocation(at);
  manager->processExit(Coordinate{-40.7, 106.1});
  TREVALO_FUZZ_CHECK(delegate->exited <= delegate->entered);
  (void)manager->description();

  // Saved after the fetch; what the manager wrote must read back whole.
  manager->saveGeofences();
  const auto restored = platform.readBack<TRGeofencesManager>(
      platform.platform().documentsDirectory() / TRGeofencesManager::kArchiveFileName);
  TREVALO_FUZZ_CHECK(restored->geofences().value_or(TRGeofencesManager::Geofences{}).size() ==
                     centers.size());
  TREVALO_FUZZ_CHECK(restored->currentGeofences().size() == manager->currentGeofences().size());
  return 0;
}
