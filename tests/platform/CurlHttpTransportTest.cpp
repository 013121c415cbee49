#include "trevalo/platform/linux/CurlHttpTransport.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
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

HttpRequest request(std::string url, std::string method = "GET") {
  HttpRequest request;
  request.url = std::move(url);
  request.httpMethod = std::move(method);
  request.timeoutInterval = 5.0;
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

TEST(CurlHttpTransportTest, SendsRequestsAsGivenFollowsRedirectsAndTakesAnyStatusAsAResponse) {
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
    s.Get("/moved", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/echo"); });
  });
  CurlHttpTransport transport;

  auto post = request(server.url("/echo"), "POST");
  post.body = Bytes{'h', 0xC3, 0xA9, 'l', 'l', 'o'};
  post.headers.setValue("yes", "X-Custom");
  post.headers.setValue("999", "Content-Length");  // a wrong length must not reach the wire
  auto put = request(server.url("/echo"), "PUT");
  put.body = Bytes(100000, 'x');  // large enough that curl would otherwise ask to continue
  const auto emptyPost = request(server.url("/echo"), "POST");

  for (const auto& sent : {post, put, emptyPost, request(server.url("/echo"), "DELETE"),
                           request(server.url("/moved"))}) {
    const auto result = sendOne(transport, sent);
    ASSERT_TRUE(result.response) << (result.error ? result.error->description() : "");
    EXPECT_EQ(result.response->statusCode, 500);
    EXPECT_EQ(text(result.response->body), R"({"ok":true})");
    EXPECT_EQ(result.response->headers.valueForField("x-answer"), "yes");
  }
  ASSERT_EQ(seen.size(), 5u);
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
  EXPECT_EQ(seen[4].method, "GET");
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
      {request("http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort()) + "/"),
       CURLE_COULDNT_CONNECT},
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

TEST(CurlHttpTransportTest, AServerThatNeverAnswersOrAnswersTooMuchFails) {
  testing::SilentServer silent;
  LoopbackServer big([](httplib::Server& s) {
    s.Get("/big", [](const httplib::Request&, httplib::Response& r) {
      r.set_content(std::string(4096, 'x'), "text/plain");
    });
  });
  CurlHttpTransport transport(CurlHttpTransport::Options{.maximumResponseBytes = 1024});
  auto sent = request(silent.url("/"));
  sent.timeoutInterval = 0.3;
  const auto unanswered = sendOne(transport, sent);
  ASSERT_TRUE(unanswered.error);
  EXPECT_EQ(unanswered.error->code(), CURLE_OPERATION_TIMEDOUT);
  const auto oversized = sendOne(transport, request(big.url("/big")));
  ASSERT_TRUE(oversized.error);
  EXPECT_EQ(oversized.error->code(), CURLE_FILESIZE_EXCEEDED);
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
  std::vector<std::string> expected;
  Completions completions;
  for (int i = 0; i < 40; ++i) {
    expected.push_back(std::to_string(i));
    transport.send(request(server.url("/item/" + expected.back())), completions.completion());
  }
  completions.waitFor(expected.size());
  std::this_thread::sleep_for(50ms);  // a duplicate completion would show up here
  std::vector<std::string> answers;
  for (const auto& result : completions.waitFor(expected.size()))
    answers.push_back(result.response ? text(result.response->body) : "");
  std::sort(answers.begin(), answers.end());
  std::sort(expected.begin(), expected.end());
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

}  // namespace
}  // namespace trevalo::platform
