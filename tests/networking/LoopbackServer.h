#pragma once

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

// The server library is not built with ThreadSanitizer: its worker threads synchronise in code
// the sanitizer cannot see, so the string copies they make show up as races between its own
// threads. Reports from inside the library are not about this project's code.
extern "C" [[gnu::used]] inline const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n"
         "race:libcpp-httplib.so\n";
}

namespace trevalo::testing {

// An HTTP (or, with a certificate, HTTPS) server on 127.0.0.1 at a port the system picks, for
// tests that exercise the real transport. Routes are set up before it starts listening.
class LoopbackServer {
 public:
  using Routes = std::function<void(httplib::Server&)>;

  explicit LoopbackServer(const Routes& routes)
      : LoopbackServer(std::make_unique<httplib::Server>(), routes) {}

  // An HTTPS server presenting the certificate and key in the given PEM files.
  LoopbackServer(const std::string& certificateFile, const std::string& keyFile,
                 const Routes& routes)
      : LoopbackServer(
            std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str()),
            routes) {}

  ~LoopbackServer() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string url(std::string_view path = "") const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }

 private:
  LoopbackServer(std::unique_ptr<httplib::Server> server, const Routes& routes)
      : server_(std::move(server)) {
    scheme_ = dynamic_cast<httplib::SSLServer*>(server_.get()) ? "https" : "http";
    if (!server_->is_valid()) throw std::runtime_error("the loopback server cannot be set up");
    // One request per connection: the server's few workers would otherwise each sit on an idle
    // kept-alive connection while other clients wait.
    server_->set_keep_alive_max_count(1);
    routes(*server_);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("the loopback server cannot bind");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // Stopping a server that has not started listening yet does nothing, and the listening
    // thread would then wait for a connection for ever: a test starts only once it listens.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::unique_ptr<httplib::Server> server_;
  std::string scheme_;
  int port_ = 0;
  std::thread thread_;
};

// Binds a TCP socket to 127.0.0.1 at a port the system picks, and gives that port.
inline int bindToLoopback(int fd) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no loopback port can be had");
  }
  return ntohs(address.sin_port);
}

// A socket on 127.0.0.1 that listens but never accepts: connections complete in the kernel and
// requests sent on them are never answered.
class SilentServer {
 public:
  SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    port_ = bindToLoopback(fd_);
    if (::listen(fd_, 16) != 0) throw std::runtime_error("the silent server cannot listen");
  }
  ~SilentServer() { ::close(fd_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  std::string url(std::string_view path = "") const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }

 private:
  int fd_;
  int port_ = 0;
};

// A loopback port nobody listens on (taken from the system and released again).
inline int closedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int port = bindToLoopback(fd);
  ::close(fd);
  return port;
}

}  // namespace trevalo::testing
