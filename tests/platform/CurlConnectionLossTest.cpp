// What the curl transport does when a connection closes after the server has read a request
// and before it answers.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "networking/LoopbackServer.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"

namespace trevalo::platform {
namespace {

using namespace std::chrono_literals;

// An HTTP/1.1 server on 127.0.0.1 that keeps connections open and answers every request with
// 200 "ok", except the first request with the given method and path: once it has read that
// request whole, body and all, it closes the connection without a word, as a server does that
// goes down after storing what it was sent.
class DroppingServer {
 public:
  struct Seen {
    std::string method;
    std::string path;
    std::string body;
  };

  DroppingServer(std::string dropMethod, std::string dropPath)
      : dropMethod_(std::move(dropMethod)),
        dropPath_(std::move(dropPath)),
        fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    port_ = testing::bindToLoopback(fd_);
    if (::listen(fd_, 16) != 0) throw std::runtime_error("the dropping server cannot listen");
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~DroppingServer() {
    stopping_ = true;
    acceptor_.join();
    for (auto& connection : connections_)
      connection.join();
    ::close(fd_);
  }
  DroppingServer(const DroppingServer&) = delete;
  DroppingServer& operator=(const DroppingServer&) = delete;

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::vector<Seen> seen() const {
    const std::lock_guard lock(mutex_);
    return seen_;
  }
  int connectionsAccepted() const { return accepted_; }

 private:
  // Waits until `fd` is readable; false once the server stops.
  bool readable(int fd) const {
    while (!stopping_) {
      pollfd entry{fd, POLLIN, 0};
      if (::poll(&entry, 1, 20) > 0) return true;
    }
    return false;
  }

  void acceptLoop() {
    while (readable(fd_)) {
      const int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      ++accepted_;
      connections_.emplace_back([this, connection] {
        serve(connection);
        ::close(connection);
      });
    }
  }

  void serve(int fd) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
      std::size_t headEnd;
      while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!readable(fd)) return;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        buffer.append(chunk, static_cast<std::size_t>(n));
      }
      const std::string head = buffer.substr(0, headEnd);
      std::size_t length = 0;
      if (const auto field = head.find("Content-Length: "); field != std::string::npos) {
        length = std::stoul(head.substr(field + 16));
      }
      while (buffer.size() < headEnd + 4 + length) {
        if (!readable(fd)) return;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        buffer.append(chunk, static_cast<std::size_t>(n));
      }
      const auto firstSpace = head.find(' ');
      const auto secondSpace = head.find(' ', firstSpace + 1);
      Seen request{head.substr(0, firstSpace),
                   head.substr(firstSpace + 1, secondSpace - firstSpace - 1),
                   buffer.substr(headEnd + 4, length)};
      buffer.erase(0, headEnd + 4 + length);
      bool drop = false;
      {
        const std::lock_guard lock(mutex_);
        drop = !dropped_ && request.method == dropMethod_ && request.path == dropPath_;
        dropped_ = dropped_ || drop;
        seen_.push_back(std::move(request));
      }
      if (drop) return;
      static constexpr char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
      if (::send(fd, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL) < 0) return;
    }
  }

  const std::string dropMethod_;
  const std::string dropPath_;
  const int fd_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // touched by the acceptor only, until it is joined
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
  bool dropped_ = false;
};

struct Result {
  std::optional<HttpResponse> response;
  std::optional<Error> error;
};

Result sendOne(HttpTransport& transport, const std::string& url, const std::string& method,
               const std::string& body = "") {
  HttpRequest request;
  request.url = url;
  request.httpMethod = method;
  request.timeoutInterval = 5.0;
  if (!body.empty()) request.body = Bytes(body.begin(), body.end());
  std::mutex mutex;
  std::condition_variable arrived;
  std::optional<Result> result;
  transport.send(std::move(request),
                 [&](std::optional<HttpResponse> response, std::optional<Error> error) {
                   const std::lock_guard lock(mutex);
                   result = Result{std::move(response), std::move(error)};
                   arrived.notify_all();
                 });
  std::unique_lock lock(mutex);
  EXPECT_TRUE(arrived.wait_for(lock, 10s, [&] { return result.has_value(); }));
  return result.value_or(Result{});
}

std::size_t count(const std::vector<DroppingServer::Seen>& seen, const std::string& path) {
  std::size_t n = 0;
  for (const auto& request : seen)
    n += request.path == path;
  return n;
}

class CurlConnectionLossTest : public ::testing::TestWithParam<const char*> {};

// A visit log the server may have stored reaches it once; the sender hears of the failure
// (and may try again itself), and the transport goes on working.
TEST_P(CurlConnectionLossTest, ARequestThatIsNotSafeToRepeatIsSentOnceAndFails) {
  const std::string method = GetParam();
  DroppingServer server(method, "/log");
  CurlHttpTransport transport;
  // An open connection to the server, ready to be reused.
  ASSERT_TRUE(sendOne(transport, server.url("/warm"), "GET").response);

  const auto lost = sendOne(transport, server.url("/log"), method, R"({"venue_id":"v1"})");
  EXPECT_FALSE(lost.response);
  ASSERT_TRUE(lost.error);
  EXPECT_EQ(lost.error->domain(), HttpTransport::kErrorDomain);
  EXPECT_EQ(lost.error->code(), CURLE_GOT_NOTHING);
  const auto seen = server.seen();
  ASSERT_EQ(count(seen, "/log"), 1u) << "sent again by the transport on its own";
  EXPECT_EQ(seen.back().body, R"({"venue_id":"v1"})");

  const auto again = sendOne(transport, server.url("/log"), method, R"({"venue_id":"v1"})");
  ASSERT_TRUE(again.response);
  EXPECT_EQ(again.response->statusCode, 200);
  EXPECT_EQ(count(server.seen(), "/log"), 2u);
}

INSTANTIATE_TEST_SUITE_P(Methods, CurlConnectionLossTest, ::testing::Values("POST", "PUT"));

// A request that may be repeated is still resent on a fresh connection when the one it reused
// turns out to be gone, and succeeds.
TEST(CurlConnectionLossSafeTest, ARequestSafeToRepeatIsResentOnAFreshConnection) {
  DroppingServer server("GET", "/data");
  CurlHttpTransport transport;
  ASSERT_TRUE(sendOne(transport, server.url("/warm"), "GET").response);
  const auto resent = sendOne(transport, server.url("/data"), "GET");
  ASSERT_TRUE(resent.response) << (resent.error ? resent.error->description() : "");
  EXPECT_EQ(resent.response->statusCode, 200);
  EXPECT_EQ(count(server.seen(), "/data"), 2u);
  EXPECT_EQ(server.connectionsAccepted(), 2);
}

}  // namespace
}  // namespace trevalo::platform
