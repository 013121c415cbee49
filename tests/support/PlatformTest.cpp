#include "support/PlatformTest.h"

namespace trevalo::testing {

void PlatformTest::SetUp() {
  directory_.emplace();
  platform_ = platform::SimulatedPlatform::make({.documentsDirectory = directory_->path()});
  previous_ = platform::Platform::install(platform_);
}

void PlatformTest::TearDown() {
  // Work still queued may hold SDK objects; it goes with the platform, before the files do.
  platform::Platform::install(previous_);
  previous_.reset();
  platform_.reset();
  directory_.reset();
}

}  // namespace trevalo::testing
