#include "trevalo/platform/Device.h"

#include <gtest/gtest.h>

#include <regex>

#include "support/TemporaryDirectory.h"
#include "trevalo/platform/LocalFileSystem.h"

namespace trevalo::platform {
namespace {

TEST(DeviceTest, VendorIdentifierIsMadeOnceAndKeptForTheInstallation) {
  testing::TemporaryDirectory directory;
  auto files = std::make_shared<LocalFileSystem>();
  const auto file = directory.path() / "vendor-identifier";
  const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");

  const Device first(files, file, Device::describeSystem());
  const auto identifier = first.identifierForVendor();
  ASSERT_TRUE(identifier);
  EXPECT_TRUE(std::regex_match(*identifier, uuid)) << *identifier;
  EXPECT_EQ(Device(files, file, {}).identifierForVendor(), identifier);

  ASSERT_TRUE(files->writeFileAtomically(file, Bytes{'j', 'u', 'n', 'k'}));
  const auto replaced = Device(files, file, {}).identifierForVendor();
  EXPECT_NE(replaced, identifier) << "an unreadable identifier file is replaced";
  EXPECT_EQ(Device(files, file, {}).identifierForVendor(), replaced);
}

}  // namespace
}  // namespace trevalo::platform
