#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace trevalo::platform {

// An eventfd that wakes a thread waiting in poll(): once signalled it stays readable.
class EventDescriptor {
 public:
  EventDescriptor() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~EventDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  EventDescriptor(const EventDescriptor&) = delete;
  EventDescriptor& operator=(const EventDescriptor&) = delete;

  bool valid() const noexcept { return fd_ >= 0; }
  int descriptor() const noexcept { return fd_; }
  void signal() const noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof(one));
  }

 private:
  int fd_;
};

}  // namespace trevalo::platform
