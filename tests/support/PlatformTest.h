#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "support/TemporaryDirectory.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace trevalo::testing {

// Base fixture of every test that touches the platform: each test gets a fresh simulated
// platform (virtual time starting at 2026-01-01T00:00:00Z, an empty temporary documents
// directory), installed for the duration of the test.
class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::SimulatedPlatform& platform() const { return *platform_; }
  platform::VirtualTimeRunLoop& runLoop() const { return platform_->virtualRunLoop(); }
  platform::SimulatedLocationManager& locationManager() const {
    return platform_->locationManager();
  }
  const std::filesystem::path& documentsDirectory() const { return directory_->path(); }

  void advanceBy(double seconds) const { runLoop().advanceBy(seconds); }
  void runUntilIdle() const { runLoop().runUntilIdle(); }
  Date now() const { return platform_->clock().now(); }

 private:
  std::optional<TemporaryDirectory> directory_;
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
};

}  // namespace trevalo::testing
