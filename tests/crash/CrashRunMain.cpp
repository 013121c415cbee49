// The crash harness at length: `trevalo_crash_run [KILLS [SEED]]` kills the scripted day KILLS
// times (1000 by default) in a scratch directory and prints the tally. Exit status 1 when a
// check failed.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "CrashHarness.h"

int main(int argc, char** argv) {
  const int kills = argc > 1 ? std::atoi(argv[1]) : 1000;
  const auto seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10)
                             : static_cast<unsigned long long>(
                                   std::chrono::steady_clock::now().time_since_epoch().count());
  const auto directory =
      std::filesystem::temp_directory_path() / ("trevalo-crash-run-" + std::to_string(seed));
  std::filesystem::create_directories(directory);
  const auto started = std::chrono::steady_clock::now();
  trevalo::crash::CrashHarness harness(
      {.child = TREVALO_CRASH_CHILD, .directory = directory, .kills = kills, .seed = seed});
  const auto report = harness.run();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << report.summary() << "\n" << seconds << " s, seed " << seed << "\n";
  for (const auto& failure : report.failures)
    std::cout << "FAILURE " << failure << "\n";
  if (report.failures.empty()) std::filesystem::remove_all(directory);
  return report.failures.empty() ? 0 : 1;
}
