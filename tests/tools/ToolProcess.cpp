#include "ToolProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <stdexcept>

namespace trevalo::testing {

ToolProcess::ToolProcess(const std::vector<std::string>& arguments,
                         const std::filesystem::path& errorFile) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  output_ = pipeEnds[0];
  try {
    process_.emplace(arguments, ChildProcess::Options{.standardOutput = pipeEnds[1],
                                                      .standardError = errorFile});
  } catch (...) {
    ::close(pipeEnds[1]);
    ::close(output_);
    throw;
  }
  ::close(pipeEnds[1]);
}

ToolProcess::~ToolProcess() {
  process_.reset();
  if (output_ >= 0) ::close(output_);
}

std::optional<std::string> ToolProcess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (const auto end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || output_ < 0) return std::nullopt;
    pollfd ready{output_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t count = ::read(output_, chunk, sizeof chunk);
    if (count <= 0) {
      ::close(output_);
      output_ = -1;
      return std::nullopt;
    }
    buffered_.append(chunk, static_cast<std::size_t>(count));
  }
}

std::vector<std::string> ToolProcess::readLines(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<std::string> lines;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    auto line = readLine(left);
    if (!line) break;
    lines.push_back(std::move(*line));
  }
  return lines;
}

}  // namespace trevalo::testing
