#include "trevalo/platform/LocalFileSystem.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

#include "platform/TemporaryFiles.h"
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

// The id of a process that has ended (a child that was started and reaped).
pid_t endedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

std::set<std::string> namesIn(const std::filesystem::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(LocalFileSystemTest, TheFirstReadOrWriteInADirectoryRemovesTheLeftoversOfDeadWritersOnly) {
  const auto dead = std::to_string(endedProcess());
  const auto self = std::to_string(::getpid());
  const auto alive = std::to_string(::getppid());
  const struct {
    const char* name;
    std::string writer;  // empty: a name that is not a temporary's
    bool removed;
  } files[] = {
      {".trVenue.dat.tmp-%-7", dead, true},
      {".trGeofences.tmp-%-12", dead, true},
      // An earlier process with this process's id, whose write is not in flight here.
      {".saveduser.tmp-%-999999", self, true},
      {".userstats.tmp-%-3", alive, false},
      {".trVenue.dat.tmp-%-", dead, false},
      {".trVenue.dat.tmp-%-7x", dead, false},
      {"trVenue.dat.tmp-%-7", dead, false},
      {"..tmp-%-1", dead, false},
      {".notes.tmp", "", false},
      {"trVenue.dat", "", false},
  };
  for (const bool byRead : {true, false}) {
    testing::TemporaryDirectory directory;
    std::set<std::string> kept;
    for (const auto& file : files) {
      std::string name = file.name;
      if (const auto at = name.find('%'); at != std::string::npos) name.replace(at, 1, file.writer);
      std::ofstream(directory.path() / name) << "partial";
      if (!file.removed) kept.insert(name);
    }
    // A directory and a link bearing a temporary's name were not made by a write.
    const std::string directoryName = ".dir.tmp-" + dead + "-1";
    const std::string linkName = ".link.tmp-" + dead + "-1";
    std::filesystem::create_directory(directory.path() / directoryName);
    std::filesystem::create_symlink(directory.path() / "trVenue.dat", directory.path() / linkName);
    kept.insert({directoryName, linkName});

    LocalFileSystem files;
    const auto target = directory.path() / "trVenue.dat";
    if (byRead) {
      EXPECT_EQ(files.readFile(target),
                Bytes(std::string_view("partial").begin(), std::string_view("partial").end()));
    } else {
      ASSERT_TRUE(files.writeFileAtomically(directory.path() / "other", Bytes{1}));
      kept.insert("other");
    }
    EXPECT_EQ(namesIn(directory.path()), kept) << (byRead ? "by a read" : "by a write");
  }
}

TEST(LocalFileSystemTest, AWriteInFlightIsNotALeftoverAndTheNamesAreRecognised) {
  testing::TemporaryDirectory directory;
  const auto temporary = TemporaryFiles::reserve(directory.path() / "trVenue.dat");
  std::ofstream(temporary) << "being written";
  EXPECT_EQ(TemporaryFiles::writerOf(temporary.filename().string()), ::getpid());
  EXPECT_EQ(TemporaryFiles::sweep(directory.path()), 0u);
  EXPECT_TRUE(std::filesystem::exists(temporary));
  TemporaryFiles::release(temporary);
  EXPECT_EQ(TemporaryFiles::sweep(directory.path()), 1u);
  EXPECT_FALSE(std::filesystem::exists(temporary));

  EXPECT_EQ(TemporaryFiles::writerOf(".a.tmp-42-1"), 42);
  for (const char* other : {".a.tmp-0-1", ".a.tmp--1", ".a.tmp-99999999999-1", ".a.tmp-4 2-1",
                            ".tmp-42-1", "a.tmp-42-1", ".a.tmp-42"}) {
    EXPECT_FALSE(TemporaryFiles::writerOf(other)) << other;
  }
}

}  // namespace
}  // namespace trevalo::platform
