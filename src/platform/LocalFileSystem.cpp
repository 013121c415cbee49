#include "trevalo/platform/LocalFileSystem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/TemporaryFiles.h"

namespace trevalo::platform {

namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const noexcept { return fd_; }
  bool close() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

void syncDirectory(const std::filesystem::path& directory) {
  const FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

std::filesystem::path directoryOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : ".";
}

// Lets go of the temporary's name on every path out of a write.
class Reservation {
 public:
  explicit Reservation(const std::filesystem::path& target)
      : path_(TemporaryFiles::reserve(target)) {}
  ~Reservation() { TemporaryFiles::release(path_); }
  Reservation(const Reservation&) = delete;
  Reservation& operator=(const Reservation&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

std::optional<Bytes> LocalFileSystem::readFile(const std::filesystem::path& path) const {
  TemporaryFiles::sweepOnce(directoryOf(path));
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  Bytes bytes;
  std::uint8_t buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) return bytes;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
}

bool LocalFileSystem::writeFileAtomically(const std::filesystem::path& path,
                                          std::span<const std::uint8_t> bytes) {
  std::error_code error;
  const auto directory = directoryOf(path);
  std::filesystem::create_directories(directory, error);
  if (error) return false;
  TemporaryFiles::sweepOnce(directory);

  const Reservation reservation(path);
  const auto& temporary = reservation.path();
  FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (fd.get() < 0) return false;
  const bool complete = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.close();
  if (!complete || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  syncDirectory(directory);
  return true;
}

bool LocalFileSystem::removeFile(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::remove(path, error);
  return !error && !fileExists(path);
}

bool LocalFileSystem::fileExists(const std::filesystem::path& path) const {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace trevalo::platform
