#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace trevalo::testing {

// A server on 127.0.0.1 that misbehaves on purpose, on raw sockets so that it can do what no
// HTTP library would: cut a body short, drip it byte by byte, reset the connection halfway,
// send far more than anyone asked for, or answer with bytes that are not HTTP. Each
// connection carries one request, read whole, and then the behaviour the script picks for it.
class HostileServer {
 public:
  struct Request {
    std::string target;  // path and query
    std::string body;
  };

  struct Behaviour {
    enum class Kind {
      // Status, headers and body, with its length or `declaredLength` if that is set, and the
      // connection closed after the body.
      kAnswer,
      kDrip,     // a 200 whose body comes one byte every `interval`
      kDrop,     // half of `body` after its full length is announced, then a reset
      kFlood,    // a 200 announcing `floodBytes` and sending them, until the client hangs up
      kGarbage,  // `body` sent as it is, instead of a response
    };
    Kind kind = Kind::kAnswer;
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers{};
    std::string body{};
    std::size_t declaredLength = 0;
    std::uint64_t floodBytes = 0;
    std::chrono::milliseconds interval{0};

    static Behaviour answer(int status, std::string body = {}) {
      return {.status = status, .body = std::move(body)};
    }
    static Behaviour redirect(int status, std::string location) {
      return {.status = status, .headers = {{"Location", std::move(location)}}};
    }
  };

  using Script = std::function<Behaviour(const Request&)>;

  explicit HostileServer(Script script);
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  // "http://<host>:<port><path>"; any name of the loopback host will do for `host`.
  std::string url(std::string_view path = "", std::string_view host = "127.0.0.1") const;

  // The requests whose path starts with `prefix`.
  std::size_t count(std::string_view prefix = "") const;

 private:
  void acceptLoop();
  void serve(int fd);
  bool readRequest(int fd, Request& request) const;
  void behave(int fd, const Behaviour& behaviour) const;
  bool sendAll(int fd, std::string_view bytes) const;

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  const Script script_;
  std::vector<Request> requests_;
  std::set<int> open_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

}  // namespace trevalo::testing
