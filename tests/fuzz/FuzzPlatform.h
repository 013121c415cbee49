#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "MemoryFileSystem.h"
#include "platform/ArchiveError.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace trevalo::fuzzing {

// A simulated platform of its own for one input: virtual time, the simulated transport and an
// empty documents directory in memory. It is the installed platform until it goes away.
class FuzzPlatform {
 public:
  static inline const std::filesystem::path kDocuments = "/fuzz/documents";

  // `files` are in the documents directory before the platform reads any of them.
  explicit FuzzPlatform(const std::map<std::string, platform::Bytes>& files = {});
  ~FuzzPlatform();
  FuzzPlatform(const FuzzPlatform&) = delete;
  FuzzPlatform& operator=(const FuzzPlatform&) = delete;

  platform::SimulatedPlatform& platform() const noexcept { return *platform_; }
  MemoryFileSystem& files() const noexcept { return *files_; }
  const std::shared_ptr<MemoryFileSystem>& sharedFiles() const noexcept { return files_; }

  // Runs the run loop until nothing is due, answering every request the SDK sends with
  // `status` and an empty JSON object, at most `rounds` times.
  void answerEverything(int status, int rounds = 8) const;

  // What the SDK wrote to `path`, read back as a T: a file missing or unreadable stops the run.
  template <class T>
  std::shared_ptr<T> readBack(const std::filesystem::path& path) const {
    const auto saved = files_->readFile(path);
    TREVALO_FUZZ_CHECK(saved);
    try {
      auto restored = platform::KeyedUnarchiver::unarchiveObjectOfClass<T>(*saved);
      TREVALO_FUZZ_CHECK(restored);
      return restored;
    } catch (const platform::ArchiveError& error) {
      fail(error.what(), __FILE__, __LINE__);
    }
  }

 private:
  std::shared_ptr<MemoryFileSystem> files_;
  std::shared_ptr<platform::SimulatedPlatform> platform_;
  std::shared_ptr<platform::Platform> previous_;
};

}  // namespace trevalo::fuzzing
