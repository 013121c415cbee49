#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "service/ReferenceService.h"

namespace httplib {
class Server;
}

namespace trevalo::service {

// The reference service over HTTP: every request that reaches it is handed to the service,
// one at a time (the service is not thread-safe), and its answer sent back as JSON. Whatever
// cannot reach the service is answered with a JSON error too: a body above the limit 413, a
// request the HTTP layer cannot read 400, a service endpoint with a token other than the
// server's 401. Nothing of a refused request is stored.
//
// The server binds when made and serves from `start` on, on threads of its own, until
// `stop` or its destruction.
class ServiceHttpServer {
 public:
  // What the SDK sends is small (a stay's points, a recording upload); a body above this is
  // refused before the service sees it.
  static constexpr std::size_t kDefaultMaxBodyBytes = 4 * 1024 * 1024;

  struct Options {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: a free port the system picks
    // When set, a service endpoint whose "api_token" differs is refused with 401.
    std::optional<std::string> token = std::nullopt;
    std::size_t maxBodyBytes = kDefaultMaxBodyBytes;
    // Connections served at once; others wait for a worker.
    std::size_t workers = 16;
    // Seconds a connection may sit idle, before its first request or between two, before it
    // is closed.
    int keepAliveSeconds = 5;
    // Called with one line for every request answered (time, client, method, target with the
    // token hidden, status, body bytes), one call at a time.
    std::function<void(const std::string& line)> log = nullptr;
  };

  // Raises std::runtime_error when the address cannot be bound.
  ServiceHttpServer(std::shared_ptr<ReferenceService> service, Options options);
  ~ServiceHttpServer();
  ServiceHttpServer(const ServiceHttpServer&) = delete;
  ServiceHttpServer& operator=(const ServiceHttpServer&) = delete;

  // The port bound (the one picked when the options asked for 0).
  int port() const noexcept { return port_; }
  std::string url() const;

  // Serves on a thread of its own; returns once the server accepts connections.
  void start();
  // Stops accepting, finishes the requests in progress and joins the threads. Idempotent.
  void stop();

  // The answer to one request as the server gives it, without sockets (what every worker
  // runs under the service's lock).
  ServiceResponse answer(const ServiceRequest& request);

  // The request target as logged: the value of "api_token" hidden.
  static std::string redactedTarget(const std::string& target);

 private:
  void route();

  std::shared_ptr<ReferenceService> service_;
  Options options_;
  std::mutex serviceMutex_;
  std::mutex logMutex_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace trevalo::service
