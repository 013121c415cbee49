#include "HostileServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "networking/LoopbackServer.h"

namespace trevalo::testing {

namespace {

constexpr int kPollMilliseconds = 20;

std::size_t contentLength(std::string head) {
  std::transform(head.begin(), head.end(), head.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto at = head.find("\r\ncontent-length:");
  return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
}

std::string head(int status, const std::vector<std::pair<std::string, std::string>>& headers,
                 std::uint64_t length) {
  std::string text = "HTTP/1.1 " + std::to_string(status) +
                     " Hostile\r\nConnection: close\r\nContent-Length: " + std::to_string(length) +
                     "\r\n";
  for (const auto& [name, value] : headers)
    text += name + ": " + value + "\r\n";
  return text + "\r\n";
}

}  // namespace

HostileServer::HostileServer(Script script) : script_(std::move(script)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  port_ = bindToLoopback(listener_);
  if (::listen(listener_, 64) != 0) throw std::runtime_error("the hostile server cannot listen");
  acceptor_ = std::thread([this] { acceptLoop(); });
}

HostileServer::~HostileServer() {
  stopping_ = true;
  acceptor_.join();
  {
    const std::lock_guard lock(mutex_);
    for (const int fd : open_)
      ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& connection : connections_)
    connection.join();
  ::close(listener_);
}

std::string HostileServer::url(std::string_view path, std::string_view host) const {
  return "http://" + std::string(host) + ":" + std::to_string(port_) + std::string(path);
}

std::size_t HostileServer::count(std::string_view prefix) const {
  const std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(
      requests_.begin(), requests_.end(),
      [prefix](const Request& request) { return request.target.rfind(prefix, 0) == 0; }));
}

void HostileServer::acceptLoop() {
  while (!stopping_) {
    pollfd entry{listener_, POLLIN, 0};
    if (::poll(&entry, 1, kPollMilliseconds) <= 0) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const std::lock_guard lock(mutex_);
    open_.insert(fd);
    connections_.emplace_back([this, fd] { serve(fd); });
  }
}

void HostileServer::serve(int fd) {
  Request request;
  if (readRequest(fd, request)) {
    {
      const std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    behave(fd, script_(request));
  }
  const std::lock_guard lock(mutex_);
  open_.erase(fd);
  ::close(fd);
}

bool HostileServer::readRequest(int fd, Request& request) const {
  std::string data;
  std::size_t headEnd = std::string::npos;
  while (!stopping_) {
    if (headEnd == std::string::npos) headEnd = data.find("\r\n\r\n");
    if (headEnd != std::string::npos &&
        data.size() >= headEnd + 4 + contentLength(data.substr(0, headEnd + 2))) {
      const auto start = data.find(' ') + 1;
      request.target = data.substr(start, data.find(' ', start) - start);
      request.body = data.substr(headEnd + 4);
      return true;
    }
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, kPollMilliseconds) <= 0) continue;
    char buffer[16384];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  return false;
}

bool HostileServer::sendAll(int fd, std::string_view bytes) const {
  while (!bytes.empty()) {
    if (stopping_) return false;
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void HostileServer::behave(int fd, const Behaviour& behaviour) const {
  using Kind = Behaviour::Kind;
  switch (behaviour.kind) {
    case Kind::kAnswer: {
      const auto length =
          behaviour.declaredLength ? behaviour.declaredLength : behaviour.body.size();
      sendAll(fd, head(behaviour.status, behaviour.headers, length) + behaviour.body);
      break;
    }
    case Kind::kDrip:
      if (!sendAll(fd, head(200, behaviour.headers, 1000000))) break;
      while (!stopping_ && sendAll(fd, " ")) {
        std::this_thread::sleep_for(behaviour.interval);
      }
      break;
    case Kind::kDrop: {
      const auto half = behaviour.body.substr(0, behaviour.body.size() / 2);
      sendAll(fd, head(200, behaviour.headers, behaviour.body.size()) + half);
      // Closing with a zero linger time resets the connection instead of ending it.
      const linger reset{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
      break;
    }
    case Kind::kFlood: {
      if (!sendAll(fd, head(200, behaviour.headers, behaviour.floodBytes))) break;
      const std::string chunk(64 * 1024, '7');
      for (std::uint64_t sent = 0; sent < behaviour.floodBytes; sent += chunk.size()) {
        const auto size = std::min<std::uint64_t>(chunk.size(), behaviour.floodBytes - sent);
        if (!sendAll(fd, std::string_view(chunk).substr(0, size))) break;
      }
      break;
    }
    case Kind::kGarbage:
      sendAll(fd, behaviour.body);
      break;
  }
}

}  // namespace trevalo::testing
