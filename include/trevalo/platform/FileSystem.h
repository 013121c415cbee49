#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "trevalo/platform/Bytes.h"

namespace trevalo::platform {

// The SDK's only access to files.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The whole file, or nothing when it is missing or cannot be read.
  virtual std::optional<Bytes> readFile(const std::filesystem::path& path) const = 0;

  // Replaces the file's contents so that a reader, or a process started after a crash at any
  // instant, finds either the old contents or the new ones in full and never a mixture.
  // Missing parent directories are created. False when the new contents could not be written;
  // the old file is then untouched.
  virtual bool writeFileAtomically(const std::filesystem::path& path,
                                   std::span<const std::uint8_t> bytes) = 0;

  // True when the file is gone afterwards (also when it never existed).
  virtual bool removeFile(const std::filesystem::path& path) = 0;

  virtual bool fileExists(const std::filesystem::path& path) const = 0;
};

}  // namespace trevalo::platform
