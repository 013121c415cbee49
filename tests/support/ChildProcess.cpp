#include "support/ChildProcess.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace trevalo::testing {

namespace {

// The parent process id and the command line of a process, from /proc.
std::optional<std::pair<pid_t, std::string>> describe(const std::filesystem::path& process) {
  std::ifstream stat(process / "stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto end = text.rfind(')');
  if (end == std::string::npos) return std::nullopt;
  std::istringstream rest(text.substr(end + 2));
  char state = 0;
  pid_t parent = 0;
  rest >> state >> parent;
  std::ifstream commandLine(process / "cmdline");
  return std::pair{parent, std::string((std::istreambuf_iterator<char>(commandLine)),
                                       std::istreambuf_iterator<char>())};
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, Options options)
    : daemonMarker_(std::move(options.daemonMarker)) {
  if (arguments.empty()) throw std::runtime_error("no program to start");
  if (!daemonMarker_.empty()) ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv;
  for (auto& argument : copies)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.standardOutput >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.standardOutput, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.standardError.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  const int failed = ::posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + arguments.front());
  }
}

ChildProcess::~ChildProcess() {
  kill();
}

void ChildProcess::signal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill();
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1 - WTERMSIG(status);
}

std::vector<pid_t> ChildProcess::daemons() const {
  // A daemon is a child of the child, or of this process once the child is gone; it is found
  // by its parent and its marker, never by its name alone.
  std::vector<pid_t> found;
  if (daemonMarker_.empty()) return found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const auto name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    const auto description = describe(entry.path());
    if (!description || pid == pid_) continue;
    const bool ours = description->first == pid_ || description->first == ::getpid();
    if (ours && description->second.find(daemonMarker_) != std::string::npos) found.push_back(pid);
  }
  return found;
}

void ChildProcess::kill() {
  if (pid_ <= 0) return;
  const auto early = daemons();
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  for (const pid_t daemon : early)
    ::kill(daemon, SIGKILL);
  // Reaped here once the child's death made them this process's children; the child may have
  // reaped one already, which waitpid then reports as no child.
  for (const pid_t daemon : early)
    ::waitpid(daemon, nullptr, 0);
  for (const pid_t late : daemons()) {
    ::kill(late, SIGKILL);
    ::waitpid(late, nullptr, 0);
  }
}

std::string freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return std::to_string(ntohs(address.sin_port));
}

}  // namespace trevalo::testing
