#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace trevalo::platform {

// The temporary files of atomic writes: ".<name>.tmp-<pid>-<n>" beside the file they replace.
// A write that dies with its process (a kill, a power cut) leaves one behind; the next process
// to read or write in that directory removes those leftovers, and only them: a file must carry
// exactly this form of name, be a regular file, and belong to a writer that is gone (a process
// that no longer exists, or this very process when the write is not in flight any more).
// Temporaries of live processes, and any file named otherwise, are never touched.
class TemporaryFiles {
 public:
  TemporaryFiles() = delete;

  // A fresh temporary path for `target`, held as in flight until `release`.
  static std::filesystem::path reserve(const std::filesystem::path& target);
  static void release(const std::filesystem::path& temporary);

  // Sweeps `directory` the first time this process calls for it; later calls do nothing,
  // since a live process cleans up after its own failed writes.
  static void sweepOnce(const std::filesystem::path& directory);
  // Removes the leftovers in `directory` now; returns how many were removed.
  static std::size_t sweep(const std::filesystem::path& directory);

  // The writer's process id when `fileName` has the form of a temporary; nothing otherwise.
  static std::optional<pid_t> writerOf(std::string_view fileName);
};

}  // namespace trevalo::platform
