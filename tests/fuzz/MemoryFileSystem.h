#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "trevalo/platform/FileSystem.h"

namespace trevalo::fuzzing {

// Files kept in memory, so that a fuzz target can write and read the SDK's documents at the
// rate of its inputs without touching the disk.
class MemoryFileSystem final : public platform::FileSystem {
 public:
  std::optional<platform::Bytes> readFile(const std::filesystem::path& path) const override;
  bool writeFileAtomically(const std::filesystem::path& path,
                           std::span<const std::uint8_t> bytes) override;
  bool removeFile(const std::filesystem::path& path) override;
  bool fileExists(const std::filesystem::path& path) const override;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, platform::Bytes> files_;
};

}  // namespace trevalo::fuzzing
