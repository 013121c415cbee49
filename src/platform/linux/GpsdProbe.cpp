#include "platform/linux/GpsdProbe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <memory>

namespace trevalo::platform {

namespace {

using Clock = std::chrono::steady_clock;

class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

struct AddressListDeleter {
  void operator()(addrinfo* list) const noexcept { ::freeaddrinfo(list); }
};

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd descriptor{fd, events, 0};
    const int ready = ::poll(&descriptor, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

bool greets(const addrinfo& address, Clock::time_point deadline) {
  const Descriptor socket(
      ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (socket.get() < 0) return false;
  if (::connect(socket.get(), address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS || !waitFor(socket.get(), POLLOUT, deadline)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      return false;
    }
  }
  // gpsd greets every client at once with one line: {"class":"VERSION",...}.
  std::string greeting;
  std::array<char, 512> buffer;
  while (greeting.find('\n') == std::string::npos && greeting.size() < 4096) {
    if (!waitFor(socket.get(), POLLIN, deadline)) return false;
    const auto length = ::recv(socket.get(), buffer.data(), buffer.size(), 0);
    if (length == 0) return false;
    if (length < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    greeting.append(buffer.data(), static_cast<std::size_t>(length));
  }
  return greeting.find("\"class\":\"VERSION\"") != std::string::npos;
}

}  // namespace

bool GpsdProbe::answers(const std::string& host, const std::string& port, double timeoutSeconds) {
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(timeoutSeconds));
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);
  for (const addrinfo* address = found; address; address = address->ai_next) {
    if (greets(*address, deadline)) return true;
    if (Clock::now() >= deadline) return false;
  }
  return false;
}

}  // namespace trevalo::platform
