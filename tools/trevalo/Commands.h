#pragma once

#include <exception>
#include <iostream>

namespace CLI {
class App;
}

namespace trevalo::tools {

// Exit statuses of every subcommand: 0 done, 1 the work itself failed, 2 the input (the
// command line or a file) could not be used.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kBadInput = 2;

// Runs the work of subcommand `name` and returns its status; when it throws, what it printed
// so far is flushed, the reason goes to standard error as "trevalo NAME: why", and the status
// is kFailed.
template <class Work>
int reportingFailure(const char* name, Work&& work) {
  try {
    return work();
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "trevalo " << name << ": " << error.what() << "\n";
    return kFailed;
  }
}

// Each adds its subcommand to `app`; running it sets `status`.
void addAnalyzeCommand(CLI::App& app, int& status);
void addDumpCommand(CLI::App& app, int& status);
void addInfoCommand(CLI::App& app, int& status);
void addExampleCommand(CLI::App& app, int& status);
void addReplayCommand(CLI::App& app, int& status);
void addServeCommand(CLI::App& app, int& status);
void addRunCommand(CLI::App& app, int& status);

}  // namespace trevalo::tools
