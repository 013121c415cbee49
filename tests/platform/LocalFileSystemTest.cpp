#include "trevalo/platform/LocalFileSystem.h"

#include <gtest/gtest.h>

#include "support/TemporaryDirectory.h"

namespace trevalo::platform {
namespace {

TEST(LocalFileSystemTest, AtomicWritesCreateReplaceOrFailCleanly) {
  testing::TemporaryDirectory directory;
  LocalFileSystem files;
  const auto path = directory.path() / "a" / "b" / "file";
  EXPECT_FALSE(files.readFile(path));
  ASSERT_TRUE(files.writeFileAtomically(path, Bytes{1, 2, 3}));
  ASSERT_TRUE(files.writeFileAtomically(path, Bytes{}));
  EXPECT_EQ(files.readFile(path), Bytes{}) << "an empty file exists and is empty";

  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1)
      << "no temporary file is left behind";

  EXPECT_TRUE(files.removeFile(path));
  EXPECT_TRUE(files.removeFile(path)) << "removing a missing file succeeds";

  // A failed write reports failure and keeps the old contents.
  const auto blocker = directory.path() / "not-a-directory";
  ASSERT_TRUE(files.writeFileAtomically(blocker, Bytes{7}));
  EXPECT_FALSE(files.writeFileAtomically(blocker / "child", Bytes{1}));
  EXPECT_EQ(files.readFile(blocker), Bytes{7});

  const auto target = directory.path() / "target";
  std::filesystem::create_directories(target);  // renaming a file over a directory fails
  EXPECT_FALSE(files.writeFileAtomically(target, Bytes{1}));
  EXPECT_TRUE(std::filesystem::is_directory(target));
}

}  // namespace
}  // namespace trevalo::platform
