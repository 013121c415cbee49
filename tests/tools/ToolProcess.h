#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace trevalo::testing {

// The whole of a file; empty when there is none.
inline std::string readFile(const std::filesystem::path& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// The trevalo program (or any other) running as a child process, its standard output read
// line by line through a pipe and its standard error written to a file. The child is always
// ended: the destructor sends SIGKILL to its process id if it still runs, and reaps it.
class ToolProcess {
 public:
  ToolProcess(const std::vector<std::string>& arguments, const std::filesystem::path& errorFile);
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  pid_t pid() const noexcept { return process_->pid(); }
  // The next line of standard output, or nothing when none comes within `timeout` (or the
  // child closed it).
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  // Every line until standard output closes or `timeout` passes.
  std::vector<std::string> readLines(std::chrono::milliseconds timeout);
  void signal(int number) const { process_->signal(number); }
  // The exit status, or -1 - the signal when a signal ended it; nothing when it still runs
  // after `timeout` (it is then killed and reaped).
  std::optional<int> wait(std::chrono::milliseconds timeout) { return process_->wait(timeout); }

 private:
  int output_ = -1;
  std::optional<ChildProcess> process_;
  std::string buffered_;
};

}  // namespace trevalo::testing
