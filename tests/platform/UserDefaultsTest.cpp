#include "trevalo/platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/Envelope.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/LocalFileSystem.h"

namespace trevalo::platform {
namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  std::unique_ptr<UserDefaults> open() {
    return std::make_unique<UserDefaults>(fileSystem_, directory_.path() / "defaults");
  }

  testing::TemporaryDirectory directory_;
  std::shared_ptr<LocalFileSystem> fileSystem_ = std::make_shared<LocalFileSystem>();
};

TEST_F(UserDefaultsTest, EveryKindOfValueSurvivesAReopen) {
  {
    auto defaults = open();
    defaults->setBool(true, "flag");
    defaults->setObject("7B2F", "id");
    defaults->setObject(Json{{"a", 1}}, "map");
    defaults->setData(Bytes{0, 1, 255}, "bytes");
    defaults->setObject(1, "gone");
    defaults->removeObjectForKey("gone");
  }
  const auto defaults = open();
  EXPECT_TRUE(defaults->boolForKey("flag"));
  EXPECT_EQ(defaults->stringForKey("id"), "7B2F");
  EXPECT_EQ(defaults->objectForKey("map"), (Json{{"a", 1}}));
  EXPECT_EQ(defaults->dataForKey("bytes"), (Bytes{0, 1, 255}));
  EXPECT_FALSE(defaults->boolForKey("id")) << "text is not a flag";
  EXPECT_FALSE(defaults->dataForKey("id").has_value());
  EXPECT_FALSE(defaults->objectForKey("gone").has_value());
}

TEST_F(UserDefaultsTest, DamagedOrForeignFileReadsAsEmptyAndIsReplacedOnTheNextWrite) {
  {
    auto defaults = open();
    defaults->setBool(true, "flag");
  }
  const auto path = directory_.path() / "defaults";
  auto bytes = *fileSystem_->readFile(path);
  for (const auto& damaged :
       {Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2), Bytes{'{', '}', '\n'}, Bytes{}}) {
    ASSERT_TRUE(fileSystem_->writeFileAtomically(path, damaged));
    auto defaults = open();
    EXPECT_FALSE(defaults->boolForKey("flag"));
    defaults->setBool(true, "again");
    EXPECT_TRUE(open()->boolForKey("again"));
  }
  bytes[bytes.size() / 2] ^= 0x40;
  ASSERT_TRUE(fileSystem_->writeFileAtomically(path, bytes));
  EXPECT_FALSE(open()->boolForKey("flag"));

  // Whole and sealed, but its map announces more members than any memory holds.
  const Bytes huge{0xbb, 0x87, 0xdb, 0xca, 0xcc, 0xc6, 0x46, 0x37, 0x45};
  ASSERT_TRUE(fileSystem_->writeFileAtomically(path, Envelope::seal("TRUD", huge)));
  EXPECT_FALSE(open()->objectForKey("flag").has_value());
  EXPECT_TRUE(fileSystem_->writeFileAtomically(
      path, Envelope::seal("TRUD", Json::to_cbor({{"flag", true}}))));
  EXPECT_TRUE(open()->boolForKey("flag")) << "a sealed map that fits reads";
}

TEST_F(UserDefaultsTest, AFailedWriteIsReportedBySynchronize) {
  // A directory where the file should be: every write fails.
  std::filesystem::create_directories(directory_.path() / "defaults");
  auto defaults = open();
  defaults->setBool(true, "flag");
  EXPECT_TRUE(defaults->boolForKey("flag")) << "the value is kept in memory";
  EXPECT_FALSE(defaults->synchronize());
  std::filesystem::remove(directory_.path() / "defaults");
  EXPECT_TRUE(defaults->synchronize());
  EXPECT_TRUE(open()->boolForKey("flag"));
}

}  // namespace
}  // namespace trevalo::platform
