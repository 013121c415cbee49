#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace trevalo::testing {

// A program run as a child of a test or a benchmark. It starts with no signal blocked, whatever
// the caller's threads block, and is always ended: SIGKILL by its process id, then reaped.
// A child that starts a daemon of its own (gpsfake its gpsd) names the daemon's marker, an
// argument only that daemon's command line holds: the caller then becomes the subreaper of
// what the child leaves behind, and the daemons are killed and reaped with the child.
class ChildProcess {
 public:
  struct Options {
    int standardOutput = -1;  // a descriptor for the child's standard output; -1: /dev/null
    std::filesystem::path standardError = "/dev/null";  // truncated first
    // As the daemon's /proc/<pid>/cmdline holds it, each argument ended by '\0'.
    std::string daemonMarker = {};
  };

  // `arguments` starts with the program, a bare name looked up on PATH. Throws
  // std::runtime_error when it cannot be started.
  ChildProcess(const std::vector<std::string>& arguments, Options options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const noexcept { return pid_; }
  void signal(int number) const;
  // The exit status, or -1 - the signal when a signal ended it; nothing when it still runs
  // after `timeout` (it is then killed and reaped).
  std::optional<int> wait(std::chrono::milliseconds timeout);
  // Kills the child and its daemons now, and reaps them.
  void kill();

 private:
  std::vector<pid_t> daemons() const;

  std::string daemonMarker_;
  pid_t pid_ = -1;
};

// A loopback port nobody listens on right now.
std::string freeLoopbackPort();

}  // namespace trevalo::testing
