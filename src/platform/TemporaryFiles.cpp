#include "platform/TemporaryFiles.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

namespace trevalo::platform {

namespace {

constexpr std::string_view kMarker = ".tmp-";

// Process-wide: every file system object of the process writes through the same registry, so
// that none of them mistakes another one's write in flight for a leftover.
struct Registry {
  std::mutex mutex;
  std::set<std::string> inFlight;
  std::set<std::string> sweptDirectories;
};

Registry& registry() {
  static Registry shared;
  return shared;
}

std::optional<unsigned long long> decimal(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  unsigned long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool processExists(pid_t pid) {
  // EPERM: it exists but belongs to someone else.
  return ::kill(pid, 0) == 0 || errno != ESRCH;
}

bool isLeftover(const std::filesystem::path& path, pid_t writer) {
  if (writer != ::getpid()) return !processExists(writer);
  auto& shared = registry();
  const std::lock_guard lock(shared.mutex);
  // A temporary of this process's id that is not in flight was left by an earlier process
  // that had the same id.
  return !shared.inFlight.contains(path.string());
}

std::string directoryKey(const std::filesystem::path& directory) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(directory, error);
  return (error ? directory : absolute).lexically_normal().string();
}

}  // namespace

std::filesystem::path TemporaryFiles::reserve(const std::filesystem::path& target) {
  static std::atomic<unsigned long> counter{0};
  auto name = target.filename().string();
  name.insert(0, ".");
  name += std::string(kMarker) + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  auto temporary = target.parent_path() / name;
  auto& shared = registry();
  const std::lock_guard lock(shared.mutex);
  shared.inFlight.insert(temporary.string());
  return temporary;
}

void TemporaryFiles::release(const std::filesystem::path& temporary) {
  auto& shared = registry();
  const std::lock_guard lock(shared.mutex);
  shared.inFlight.erase(temporary.string());
}

std::optional<pid_t> TemporaryFiles::writerOf(std::string_view fileName) {
  // "." name ".tmp-" pid "-" counter, with a name of at least one character.
  if (fileName.size() < 2 || fileName.front() != '.') return std::nullopt;
  const auto marker = fileName.rfind(kMarker);
  if (marker == std::string_view::npos || marker < 2) return std::nullopt;
  const auto numbers = fileName.substr(marker + kMarker.size());
  const auto dash = numbers.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto pid = decimal(numbers.substr(0, dash));
  if (!pid || *pid == 0 ||
      *pid > static_cast<unsigned long long>(std::numeric_limits<pid_t>::max()))
    return std::nullopt;
  if (!decimal(numbers.substr(dash + 1))) return std::nullopt;
  return static_cast<pid_t>(*pid);
}

void TemporaryFiles::sweepOnce(const std::filesystem::path& directory) {
  {
    auto& shared = registry();
    const std::lock_guard lock(shared.mutex);
    if (!shared.sweptDirectories.insert(directoryKey(directory)).second) return;
  }
  sweep(directory);
}

std::size_t TemporaryFiles::sweep(const std::filesystem::path& directory) {
  std::error_code error;
  std::filesystem::directory_iterator entries(directory.empty() ? "." : directory, error);
  if (error) return 0;
  std::size_t removed = 0;
  for (const auto& entry : entries) {
    const auto writer = writerOf(entry.path().filename().string());
    if (!writer) continue;
    // A link or a directory of that name was not made by a write.
    if (!entry.is_regular_file(error) || entry.is_symlink(error)) continue;
    if (!isLeftover(entry.path(), *writer)) continue;
    if (::unlink(entry.path().c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace trevalo::platform
