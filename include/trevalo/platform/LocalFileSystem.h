#pragma once

#include "trevalo/platform/FileSystem.h"

namespace trevalo::platform {

// The machine's own file system. Atomic writes go to a temporary file beside the target,
// which is flushed to the disk and then renamed over the target; the directory is flushed
// too, so a completed write survives a power loss.
class LocalFileSystem final : public FileSystem {
 public:
  std::optional<Bytes> readFile(const std::filesystem::path& path) const override;
  bool writeFileAtomically(const std::filesystem::path& path,
                           std::span<const std::uint8_t> bytes) override;
  bool removeFile(const std::filesystem::path& path) override;
  bool fileExists(const std::filesystem::path& path) const override;
};

}  // namespace trevalo::platform
