#include "service/ServiceHttpServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

namespace trevalo::service {

namespace {

// Text a client can always read: strings the service echoes back (an identifier taken from
// the path, say) may hold bytes that are not UTF-8.
std::string jsonText(const Json& body) {
  return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string errorText(const std::string& why) {
  return jsonText(Json::object({{"error", why}}));
}

// Why the HTTP layer answered `status` on its own, before the service saw the request.
std::string layerError(int status, std::size_t maxBodyBytes) {
  switch (status) {
    case 400:
      return "the request cannot be read as HTTP";
    case 413:
      return "the body is larger than " + std::to_string(maxBodyBytes) + " bytes";
    case 414:
      return "the request target is too long";
    case 404:
      return "no such endpoint";
    case 405:
      return "method not allowed";
    default:
      return "the request cannot be served (HTTP " + std::to_string(status) + ")";
  }
}

std::string utcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm parts{};
  ::gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace

ServiceHttpServer::ServiceHttpServer(std::shared_ptr<ReferenceService> service, Options options)
    : service_(std::move(service)),
      options_(std::move(options)),
      server_(std::make_unique<httplib::Server>()) {
  if (!service_) throw std::invalid_argument("the HTTP server needs a service");
  if (options_.workers == 0) throw std::invalid_argument("the HTTP server needs a worker");
  const std::size_t workers = options_.workers;
  // The task queue is the library's to own and delete.
  server_->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  // The library's default also sets SO_REUSEPORT, which lets a second server bind a port in
  // use and take half of its connections: only SO_REUSEADDR, so a busy port is refused.
  int listening = -1;
  server_->set_socket_options([&listening](socket_t socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listening = socket;
  });
  // An answer goes out in two writes (head, then body): with Nagle's algorithm the second
  // waits for the client's delayed acknowledgement, some 40 ms on a kept-alive connection.
  server_->set_tcp_nodelay(true);
  server_->set_payload_max_length(options_.maxBodyBytes);
  server_->set_keep_alive_timeout(options_.keepAliveSeconds);
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  route();
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(options_.host);
  } else if (server_->bind_to_port(options_.host, options_.port)) {
    port_ = options_.port;
  }
  if (port_ <= 0) {
    throw std::runtime_error("cannot listen on " + options_.host + ":" +
                             std::to_string(options_.port));
  }
  // The library listens with a backlog of 5: a burst of clients overflows it, and the kernel
  // then drops connections the clients believe open, which end reset without an answer. Calling
  // listen again on the socket enlarges its backlog.
  if (listening >= 0) ::listen(listening, SOMAXCONN);
}

ServiceHttpServer::~ServiceHttpServer() {
  stop();
}

std::string ServiceHttpServer::url() const {
  const bool ipv6 = options_.host.find(':') != std::string::npos;
  const std::string host = ipv6 ? "[" + options_.host + "]" : options_.host;
  return "http://" + host + ":" + std::to_string(port_);
}

void ServiceHttpServer::start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // A stop before the server listens would be lost, and the listening thread would then wait
  // for a connection for ever: return only once it listens.
  for (int i = 0; i < 10000 && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void ServiceHttpServer::stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}

std::string ServiceHttpServer::redactedTarget(const std::string& target) {
  std::string redacted = target;
  const std::string key = "api_token=";
  for (std::size_t at = redacted.find(key); at != std::string::npos;
       at = redacted.find(key, at + 1)) {
    if (at != 0 && redacted[at - 1] != '?' && redacted[at - 1] != '&') continue;
    const std::size_t value = at + key.size();
    const std::size_t end = redacted.find_first_of("&#", value);
    redacted.replace(value, (end == std::string::npos ? redacted.size() : end) - value, "***");
  }
  return redacted;
}

ServiceResponse ServiceHttpServer::answer(const ServiceRequest& request) {
  if (options_.token) {
    const auto target = RequestTarget::parse(request.url);
    if (target) {
      const auto segments = target->segments();
      const auto token = target->query("api_token");
      if (!segments.empty() && segments[0] == "v1" && token && !token->empty() &&
          *token != *options_.token) {
        return {401, Json::object({{"error", "unknown api_token"}})};
      }
    }
  }
  const std::lock_guard lock(serviceMutex_);
  return service_->handle(request);
}

void ServiceHttpServer::route() {
  const auto serve = [this](const httplib::Request& request, httplib::Response& response) {
    const ServiceResponse answered = answer({request.method, request.target, request.body});
    response.status = answered.status;
    response.set_content(jsonText(answered.body), "application/json");
  };
  const std::string any = ".*";
  server_->Get(any, serve);
  server_->Post(any, serve);
  server_->Put(any, serve);
  server_->Patch(any, serve);
  server_->Delete(any, serve);
  server_->Options(any, serve);

  const std::size_t maxBodyBytes = options_.maxBodyBytes;
  const httplib::Server::HandlerWithResponse explain = [maxBodyBytes](const httplib::Request&,
                                                                      httplib::Response& response) {
    if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    response.set_content(errorText(layerError(response.status, maxBodyBytes)), "application/json");
    return httplib::Server::HandlerResponse::Handled;
  };
  server_->set_error_handler(explain);
  server_->set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr failure) {
        std::string why = "internal error";
        try {
          if (failure) std::rethrow_exception(failure);
        } catch (const std::exception& error) {
          why += std::string(": ") + error.what();
        } catch (...) {
        }
        response.status = 500;
        response.set_content(errorText(why), "application/json");
      });
  if (!options_.log) return;
  server_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    const std::string line = utcNow() + " " + request.remote_addr + " " + request.method + " " +
                             redactedTarget(request.target) + " " +
                             std::to_string(response.status) + " " +
                             std::to_string(response.body.size());
    const std::lock_guard lock(logMutex_);
    options_.log(line);
  });
}

}  // namespace trevalo::service
