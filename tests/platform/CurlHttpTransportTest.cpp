#include "trevalo/platform/linux/CurlHttpTransport.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "networking/LoopbackServer.h"
#include "support/SelfSignedCertificate.h"
#include "support/TemporaryDirectory.h"

namespace trevalo::platform {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;

// Collects completions from the transport's thread.
class Completions {
 public:
  struct Result {
    std::optional<HttpResponse> response;
    std::optional<Error> error;
  };

  HttpTransport::Completion completion() {
    return [this](std::optional<HttpResponse> response, std::optional<Error> error) {
      const std::lock_guard lock(mutex_);
      results_.push_back({std::move(response), std::move(error)});
      arrived_.notify_all();
    };
  }

  // The results once `count` have arrived (a failed expectation after 10 s); waiting for none
  // gives what has arrived so far.
  std::vector<Result> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    EXPECT_TRUE(arrived_.wait_for(lock, 10s, [&] { return results_.size() >= count; }));
    return results_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Result> results_;
};

HttpRequest request(std::string url, std::string method = "GET", std::string body = "") {
  HttpRequest request;
  request.url = std::move(url);
  request.httpMethod = std::move(method);
  request.timeoutInterval = 5.0;
  if (!body.empty()) request.body = Bytes(body.begin(), body.end());
  return request;
}

Completions::Result sendOne(HttpTransport& transport, HttpRequest sent) {
  Completions completions;
  transport.send(std::move(sent), completions.completion());
  auto results = completions.waitFor(1);
  return results.empty() ? Completions::Result{} : results.front();
}

std::string text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(CurlHttpTransportTest, SendsRequestsAsGivenAndTakesAnyStatusAsAResponse) {
  struct Seen {
    std::string method, body, contentLength, custom, expect, contentType;
  };
  std::mutex mutex;
  std::vector<Seen> seen;
  LoopbackServer server([&](httplib::Server& s) {
    auto record = [&](const httplib::Request& r, httplib::Response& response) {
      const std::lock_guard lock(mutex);
      seen.push_back({r.method, r.body, r.get_header_value("Content-Length"),
                      r.get_header_value("X-Custom"), r.get_header_value("Expect"),
                      r.get_header_value("Content-Type")});
      response.status = 500;
      response.set_header("X-Answer", "yes");
      response.set_content(R"({"ok":true})", "application/json");
    };
    s.Post("/echo", record);
    s.Put("/echo", record);
    s.Get("/echo", record);
    s.Delete("/echo", record);
  });
  CurlHttpTransport transport;

  auto post = request(server.url("/echo"), "POST");
  post.body = Bytes{'h', 0xC3, 0xA9, 'l', 'l', 'o'};
  post.headers.setValue("yes", "X-Custom");
  post.headers.setValue("999", "Content-Length");  // a wrong length must not reach the wire
  auto put = request(server.url("/echo"), "PUT");
  put.body = Bytes(100000, 'x');  // large enough that curl would otherwise ask to continue
  const auto emptyPost = request(server.url("/echo"), "POST");

  for (const auto& sent : {post, put, emptyPost, request(server.url("/echo"), "DELETE")}) {
    const auto result = sendOne(transport, sent);
    ASSERT_TRUE(result.response) << (result.error ? result.error->description() : "");
    EXPECT_EQ(result.response->statusCode, 500);
    EXPECT_EQ(text(result.response->body), R"({"ok":true})");
    EXPECT_EQ(result.response->headers.valueForField("x-answer"), "yes");
  }
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].body, "h\xC3\xA9llo");
  EXPECT_EQ(seen[0].contentLength, "6");
  EXPECT_EQ(seen[0].custom, "yes");
  EXPECT_EQ(seen[1].method, "PUT");
  EXPECT_EQ(seen[1].body.size(), 100000u);
  EXPECT_EQ(seen[1].expect, "");
  EXPECT_EQ(seen[1].contentType, "");  // no type made up for a body given without one
  EXPECT_EQ(seen[2].contentLength, "0");
  EXPECT_EQ(seen[3].method, "DELETE");
}

TEST(CurlHttpTransportTest, RefusesUnsafeRequestsAndReportsTransportFailuresAsErrors) {
  const auto unsafe = [](const std::function<void(HttpRequest&)>& change) {
    auto sent = request("http://127.0.0.1:9/");
    change(sent);
    return sent;
  };
  const struct {
    HttpRequest sent;
    std::int64_t code;
  } cases[] = {
      {request("file:///etc/hostname"), CURLE_UNSUPPORTED_PROTOCOL},
      {unsafe([](HttpRequest& r) { r.headers.setValue("a\r\nX-Injected: 1", "X-Value"); }),
       HttpTransport::kErrorInvalidRequest},
      {request("http://127.0.0.1:9/", "GET /x"), HttpTransport::kErrorInvalidRequest},
      {unsafe([](HttpRequest& r) { r.timeoutInterval = std::nan(""); }),
       HttpTransport::kErrorInvalidRequest},
  };
  CurlHttpTransport transport;
  for (const auto& [sent, code] : cases) {
    const auto result = sendOne(transport, sent);
    EXPECT_FALSE(result.response);
    ASSERT_TRUE(result.error) << sent.url << " " << sent.httpMethod;
    EXPECT_EQ(result.error->domain(), HttpTransport::kErrorDomain);
    EXPECT_EQ(result.error->code(), code) << sent.url << " " << sent.httpMethod;
  }
}

TEST(CurlHttpTransportTest, ShutdownCancelsWhatIsInFlightAndWhatComesAfter) {
  testing::SilentServer server;
  Completions completions;
  {
    CurlHttpTransport transport;
    for (int i = 0; i < 3; ++i)
      transport.send(request(server.url("/")), completions.completion());
    EXPECT_EQ(transport.pendingCount(), 3u);
    transport.shutdown();
    EXPECT_EQ(completions.waitFor(0).size(), 3u);
    EXPECT_EQ(transport.pendingCount(), 0u);
    transport.send(request(server.url("/")), completions.completion());
    EXPECT_EQ(completions.waitFor(0).size(), 4u);
  }
  for (const auto& result : completions.waitFor(4)) {
    ASSERT_TRUE(result.error);
    EXPECT_EQ(*result.error, HttpTransport::cancelledError());
  }
}

TEST(CurlHttpTransportTest, ManyRequestsInFlightEachCompleteOnceWithTheirOwnAnswer) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get(R"(/item/(\d+))", [](const httplib::Request& r, httplib::Response& response) {
      response.set_content(std::string(r.matches[1]), "text/plain");
    });
  });
  CurlHttpTransport transport;
  std::multiset<std::string> expected;
  Completions completions;
  for (int i = 0; i < 40; ++i) {
    expected.insert(std::to_string(i));
    transport.send(request(server.url("/item/" + std::to_string(i))), completions.completion());
  }
  completions.waitFor(expected.size());
  std::this_thread::sleep_for(50ms);  // a duplicate completion would show up here
  std::multiset<std::string> answers;
  for (const auto& result : completions.waitFor(expected.size()))
    answers.insert(result.response ? text(result.response->body) : "");
  EXPECT_EQ(answers, expected);
}

TEST(CurlHttpTransportTest, AnUntrustedCertificateFailsVerification) {
  testing::TemporaryDirectory directory;
  const auto [certificate, key] = testing::writeSelfSignedCertificate(directory.path());
  std::atomic<bool> served{false};
  LoopbackServer server(certificate, key, [&](httplib::Server& s) {
    s.Get("/", [&](const httplib::Request&, httplib::Response& r) {
      served = true;
      r.set_content("{}", "application/json");
    });
  });
  ASSERT_EQ(server.url().rfind("https://", 0), 0u);
  CurlHttpTransport transport;
  const auto result = sendOne(transport, request(server.url("/")));
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), CURLE_PEER_FAILED_VERIFICATION);
  EXPECT_FALSE(served);
}

// An HTTP/1.1 server on 127.0.0.1 that keeps connections open and answers every request with
// 200 "ok", except the first request with the given method and path: once it has read that
// request whole, body and all, it closes the connection without a word, as a server does that
// goes down after storing what it was sent.
class DroppingServer {
 public:
  DroppingServer(std::string dropMethod, std::string dropPath)
      : drop_(std::move(dropMethod) + " " + std::move(dropPath)),
        fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
        port_(testing::bindToLoopback(fd_)) {
    if (::listen(fd_, 16) != 0) throw std::runtime_error("the dropping server cannot listen");
    acceptor_ = std::thread([this] {
      while (readable(fd_)) {
        const int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        ++accepted_;
        connections_.emplace_back([this, connection] {
          serve(connection);
          ::close(connection);
        });
      }
    });
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
  // Each request read: "METHOD /path body".
  std::vector<std::string> seen() const {
    const std::lock_guard lock(mutex_);
    return seen_;
  }
  std::size_t count(const std::string& methodAndPath) const {
    std::size_t n = 0;
    for (const auto& request : seen())
      n += request.rfind(methodAndPath + " ", 0) == 0;
    return n;
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
  // Reads into `buffer` until it holds `size` bytes; false when the connection ends first.
  bool fill(int fd, std::string& buffer, std::size_t size) const {
    char chunk[4096];
    while (buffer.size() < size) {
      const ssize_t n = readable(fd) ? ::recv(fd, chunk, sizeof chunk, 0) : 0;
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  }

  void serve(int fd) {
    std::string buffer;
    for (;;) {
      std::size_t headEnd;
      while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(fd, buffer, buffer.size() + 1)) return;
      }
      const std::string head = buffer.substr(0, headEnd);
      const auto field = head.find("Content-Length: ");
      const std::size_t length =
          field == std::string::npos ? 0 : std::stoul(head.substr(field + 16));
      if (!fill(fd, buffer, headEnd + 4 + length)) return;
      const std::string request =
          head.substr(0, head.find(" HTTP/")) + " " + buffer.substr(headEnd + 4, length);
      buffer.erase(0, headEnd + 4 + length);
      bool drop = false;
      {
        const std::lock_guard lock(mutex_);
        drop = !dropped_ && request.rfind(drop_ + " ", 0) == 0;
        dropped_ = dropped_ || drop;
        seen_.push_back(request);
      }
      if (drop) return;
      static constexpr char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
      if (::send(fd, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL) < 0) return;
    }
  }

  const std::string drop_;
  const int fd_;
  const int port_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // touched by the acceptor only, until it is joined
  mutable std::mutex mutex_;
  std::vector<std::string> seen_;
  bool dropped_ = false;
};

std::string outcome(const Completions::Result& result) {
  if (result.response) return std::to_string(result.response->statusCode);
  return result.error ? result.error->domain() + " " + std::to_string(result.error->code()) : "";
}

class CurlConnectionLossTest : public ::testing::TestWithParam<const char*> {};

// A connection that closes after the server has read a request and before it answers. A visit
// log the server may have stored reaches it once: the sender hears of the failure (and may try
// again itself). A request safe to repeat is resent on a fresh connection and succeeds. Either
// way the transport goes on working.
TEST_P(CurlConnectionLossTest, ARequestIsResentOnAFreshConnectionOnlyWhenSafeToRepeat) {
  const std::string method = GetParam();
  const bool safe = method == "GET";
  const std::string body = safe ? "" : R"({"venue_id":"v1"})";
  DroppingServer server(method, "/log");
  CurlHttpTransport transport;
  // An open connection to the server, ready to be reused.
  ASSERT_TRUE(sendOne(transport, request(server.url("/warm"))).response);

  const auto lost = sendOne(transport, request(server.url("/log"), method, body));
  EXPECT_EQ(outcome(lost), safe ? "200"
                                : std::string(HttpTransport::kErrorDomain) + " " +
                                      std::to_string(CURLE_GOT_NOTHING));
  ASSERT_EQ(server.count(method + " /log"), safe ? 2u : 1u);
  EXPECT_EQ(server.seen().back(), method + " /log " + body);
  if (safe) {
    EXPECT_EQ(server.connectionsAccepted(), 2) << "resent on a fresh connection";
  }

  EXPECT_EQ(outcome(sendOne(transport, request(server.url("/log"), method, body))), "200");
  EXPECT_EQ(server.count(method + " /log"), safe ? 3u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Methods, CurlConnectionLossTest, ::testing::Values("POST", "PUT", "GET"));

}  // namespace
}  // namespace trevalo::platform
