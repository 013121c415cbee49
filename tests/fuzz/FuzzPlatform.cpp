#include "FuzzPlatform.h"

namespace trevalo::fuzzing {

FuzzPlatform::FuzzPlatform(const std::map<std::string, platform::Bytes>& files)
    : files_(std::make_shared<MemoryFileSystem>()) {
  for (const auto& [name, bytes] : files)
    files_->writeFileAtomically(kDocuments / name, bytes);
  platform_ =
      platform::SimulatedPlatform::make({.documentsDirectory = kDocuments, .fileSystem = files_});
  previous_ = platform::Platform::install(platform_);
  // A place without a name or a country, as the geocoder gives for the middle of nowhere.
  platform_->geocoder().setResponder([](const Location&) {
    return std::optional<platform::SimulatedGeocoder::Answer>(std::vector<platform::Placemark>{});
  });
}

FuzzPlatform::~FuzzPlatform() {
  platform::Platform::install(previous_);
}

void FuzzPlatform::answerEverything(int status, int rounds) const {
  auto& transport = platform_->simulatedHttpTransport();
  for (int i = 0; i < rounds; ++i) {
    platform_->virtualRunLoop().runUntilIdle();
    if (transport.pendingCount() == 0) return;
    while (transport.respondToNext(platform::SimulatedHttpTransport::response(status, "{}"))) {
    }
  }
  platform_->virtualRunLoop().runUntilIdle();
}

}  // namespace trevalo::fuzzing
