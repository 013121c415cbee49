#pragma once

namespace CLI {
class App;
}

namespace trevalo::tools {

// Exit statuses of every subcommand: 0 done, 1 the work itself failed, 2 the input (the
// command line or a file) could not be used.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kBadInput = 2;

// Each adds its subcommand to `app`; running it sets `status`.
void addAnalyzeCommand(CLI::App& app, int& status);
void addDumpCommand(CLI::App& app, int& status);
void addInfoCommand(CLI::App& app, int& status);
void addExampleCommand(CLI::App& app, int& status);
void addReplayCommand(CLI::App& app, int& status);
void addServeCommand(CLI::App& app, int& status);
void addRunCommand(CLI::App& app, int& status);

}  // namespace trevalo::tools
