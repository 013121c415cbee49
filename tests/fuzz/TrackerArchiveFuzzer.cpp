// "trVenue.dat": the visit tracker restored from any file, its saved work run against the
// service and the geocoder, a departure logged, and the file it then writes read back.
#include "FuzzPlatform.h"
#include "FuzzSupport.h"
#include "networking/TRNetworkClient.h"
#include "platform/ArchiveFormat.h"
#include "visits/VisitTracker.h"

using namespace trevalo;

namespace {

void dump(std::span<const std::uint8_t> bytes) {
  try {
    fuzzing::requireSerialisable(platform::KeyedUnarchiver::dumpAsJson(bytes));
  } catch (const platform::ArchiveError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzzing::sealedPayload(platform::archive_format::kMagic, data, size);
  dump(std::span<const std::uint8_t>(data, size));
  dump(file);

  const fuzzing::FuzzPlatform platform({{VisitTracker::kFileName, file}});
  auto client = std::make_shared<TRNetworkClient>();
  client->setApiKey("token");
  std::size_t operations = 0;
  bool hasVisit = false;
  {
    const auto tracker = VisitTracker::cachedQueue(client);
    tracker->createQueue();
    tracker->addArchivedOperations();
    // The service knows no venue: the geocoder is asked instead, for a place it cannot name.
    platform.answerEverything(200);
    tracker->appBecomeActive();
    tracker->endVisit(platform.platform().clock().now());
    platform.answerEverything(500);
    platform.platform().virtualRunLoop().advanceBy(4000.0);
    tracker->resendAllPendingOperations();
    platform.answerEverything(201);
    TREVALO_FUZZ_CHECK(tracker->operationsQueue().size() <= VisitTracker::kMaximumOperations);
    TREVALO_FUZZ_CHECK(tracker->saveTracker());
    operations = tracker->operationsQueue().size();
    hasVisit = tracker->currentVisit() != nullptr;
  }
  // What the tracker wrote, it reads back whole.
  const auto restored = platform.readBack<VisitTracker>(VisitTracker::venueCachePath());
  TREVALO_FUZZ_CHECK(restored->operationsQueue().size() == operations);
  TREVALO_FUZZ_CHECK((restored->currentVisit() != nullptr) == hasVisit);
  return 0;
}
