// The network client over the real transport: a burst of requests in flight at once against a
// server on the loopback interface, each completing once on the run loop; and the checking of
// a typical response body.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "networking/SessionRequestBuilder.h"
#include "networking/SessionResponseChecker.h"
#include "networking/TRNetworkClient.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"

namespace {

using namespace trevalo;

// A small keep-alive HTTP/1.1 server on 127.0.0.1 that answers every request (requests without
// bodies) with the same JSON object, on one thread.
class LoopbackJsonServer {
 public:
  LoopbackJsonServer()
      : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 256) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
      throw std::runtime_error("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackJsonServer() {
    const char stop = 1;
    [[maybe_unused]] const auto written = ::write(wake_[1], &stop, 1);
    thread_.join();
    for (const auto& [fd, buffer] : clients_)
      ::close(fd);
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
  }
  LoopbackJsonServer(const LoopbackJsonServer&) = delete;
  LoopbackJsonServer& operator=(const LoopbackJsonServer&) = delete;

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  void serve() {
    static const std::string kResponse =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 25\r\n\r\n"
        R"({"ok":true,"items":[1,2]})";
    for (;;) {
      std::vector<pollfd> descriptors{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
      for (const auto& [fd, buffer] : clients_)
        descriptors.push_back({fd, POLLIN, 0});
      if (::poll(descriptors.data(), descriptors.size(), -1) < 0) continue;
      if (descriptors[0].revents != 0) return;
      if (descriptors[1].revents != 0) {
        for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
          clients_.emplace(fd, std::string());
        }
      }
      for (std::size_t i = 2; i < descriptors.size(); ++i) {
        if (descriptors[i].revents == 0) continue;
        const int fd = descriptors[i].fd;
        char chunk[4096];
        const auto length = ::read(fd, chunk, sizeof(chunk));
        if (length <= 0) {
          ::close(fd);
          clients_.erase(fd);
          continue;
        }
        auto& buffer = clients_[fd];
        buffer.append(chunk, static_cast<std::size_t>(length));
        for (auto end = buffer.find("\r\n\r\n"); end != std::string::npos;
             end = buffer.find("\r\n\r\n")) {
          buffer.erase(0, end + 4);
          [[maybe_unused]] const auto sent =
              ::send(fd, kResponse.data(), kResponse.size(), MSG_NOSIGNAL);
        }
      }
    }
  }

  int listener_;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::map<int, std::string> clients_;  // the server thread's only
  std::thread thread_;
};

void BM_TwoHundredRequestsInFlight(benchmark::State& state) {
  constexpr int kRequests = 200;
  const auto documents = std::filesystem::temp_directory_path() /
                         ("trevalo-network-bench-" + std::to_string(::getpid()));
  auto simulated = platform::SimulatedPlatform::make({.documentsDirectory = documents});
  simulated->setHttpTransport(std::make_shared<platform::CurlHttpTransport>());
  const auto previous = platform::Platform::install(simulated);
  {
    LoopbackJsonServer server;
    TRNetworkClient client;
    client.setApiKey("bench");
    const auto request =
        SessionRequestBuilder::instance()->getRequestWithUrl(server.url() + "/v1/x", "GET");
    for (auto _ : state) {
      int completed = 0;
      int failed = 0;
      for (int i = 0; i < kRequests; ++i) {
        client.executeTaskWithRequest(request,
                                      [&](std::optional<Json> value, std::optional<Error>) {
                                        ++(value ? completed : failed);
                                      });
      }
      simulated->virtualRunLoop().runUntil([&] { return completed + failed == kRequests; },
                                           std::chrono::seconds(30));
      if (completed != kRequests) {
        state.SkipWithError("not every request completed once with a value");
        break;
      }
    }
    state.SetItemsProcessed(state.iterations() * kRequests);
  }
  platform::Platform::install(previous);
  simulated.reset();
  std::error_code ignored;
  std::filesystem::remove_all(documents, ignored);
}
BENCHMARK(BM_TwoHundredRequestsInFlight)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CheckTypicalResponse(benchmark::State& state) {
  Json places = Json::array();
  for (int i = 0; i < 50; ++i) {
    places.push_back({{"id", "venue-" + std::to_string(i)},
                      {"name", "Café número " + std::to_string(i)},
                      {"location", {{"lat", 40.7 + i * 1e-4}, {"lng", -74.0 - i * 1e-4}}},
                      {"categories", {"coffee", "bakery"}}});
  }
  const std::string text = Json{{"venues", places}}.dump();
  platform::HttpResponse response;
  response.statusCode = 200;
  response.body.assign(text.begin(), text.end());
  for (auto _ : state) {
    std::optional<Error> error;
    auto value = SessionResponseChecker::checkData(&response.body, &response, nullptr, &error);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_CheckTypicalResponse);

}  // namespace
