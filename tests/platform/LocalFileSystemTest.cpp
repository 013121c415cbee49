#include "trevalo/platform/LocalFileSystem.h"

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace trevalo::platform {
namespace {

TEST(LocalFileSystemTest, AtomicWriteCreatesReplacesAndLeavesNoTemporaryFiles) {
  testing::TemporaryDirectory directory;
  LocalFileSystem files;
  const auto path = directory.path() / "a" / "b" / "file";
  EXPECT_FALSE(files.readFile(path));
  EXPECT_FALSE(files.fileExists(path));

  ASSERT_TRUE(files.writeFileAtomically(path, Bytes{1, 2, 3}));
  ASSERT_TRUE(files.writeFileAtomically(path, Bytes{9}));
  EXPECT_EQ(files.readFile(path), Bytes{9});
  ASSERT_TRUE(files.writeFileAtomically(path, Bytes{}));
  EXPECT_EQ(files.readFile(path), Bytes{}) << "an empty file exists and is empty";

  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(path.parent_path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u);

  EXPECT_TRUE(files.removeFile(path));
  EXPECT_TRUE(files.removeFile(path)) << "removing a missing file succeeds";
  EXPECT_FALSE(files.fileExists(path));
}

TEST(LocalFileSystemTest, AFailedWriteReportsFailureAndKeepsTheOldContents) {
  testing::TemporaryDirectory directory;
  LocalFileSystem files;
  const auto blocker = directory.path() / "not-a-directory";
  ASSERT_TRUE(files.writeFileAtomically(blocker, Bytes{7}));
  EXPECT_FALSE(files.writeFileAtomically(blocker / "child", Bytes{1}));

  const auto target = directory.path() / "target";
  std::filesystem::create_directories(target);  // renaming a file over a directory fails
  EXPECT_FALSE(files.writeFileAtomically(target, Bytes{1}));
  EXPECT_TRUE(std::filesystem::is_directory(target));
  EXPECT_EQ(files.readFile(blocker), Bytes{7});
}

}  // namespace
}  // namespace trevalo::platform
