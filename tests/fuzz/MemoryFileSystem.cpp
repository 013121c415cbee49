#include "MemoryFileSystem.h"

namespace trevalo::fuzzing {

std::optional<platform::Bytes> MemoryFileSystem::readFile(const std::filesystem::path& path) const {
  const std::lock_guard lock(mutex_);
  const auto it = files_.find(path.lexically_normal().string());
  if (it == files_.end()) return std::nullopt;
  return it->second;
}

bool MemoryFileSystem::writeFileAtomically(const std::filesystem::path& path,
                                           std::span<const std::uint8_t> bytes) {
  const std::lock_guard lock(mutex_);
  files_[path.lexically_normal().string()] = platform::Bytes(bytes.begin(), bytes.end());
  return true;
}

bool MemoryFileSystem::removeFile(const std::filesystem::path& path) {
  const std::lock_guard lock(mutex_);
  files_.erase(path.lexically_normal().string());
  return true;
}

bool MemoryFileSystem::fileExists(const std::filesystem::path& path) const {
  const std::lock_guard lock(mutex_);
  return files_.contains(path.lexically_normal().string());
}

}  // namespace trevalo::fuzzing
