#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace trevalo::crash {

// Kills the child of the scripted day (CrashDay) with SIGKILL at random instants, restarts it
// on the same documents directory, and after every kill checks what is on disk:
//  - every file the SDK wrote loads whole (the tracker, the geofences, the user values, the
//    user defaults), and the tracker's file reads without any part of it given up;
//  - no accepted work is lost: every stay queued and every visit ended is still in the
//    tracker's list unless the service has answered it;
//  - no visit is logged twice: the tracker holds one departure per visit, and a visit the
//    service received more than once (a log resent after a kill that came between its answer
//    and the tracker's note of it) came each time with the same record;
//  - the steps done and the user values saved never go back;
//  - the temporary files a killed write left are gone once the next life has started.
// When a day is complete, the next starts on a fresh directory. After the last kill, the day
// under way runs to its end, and all its work must have drained, every ended visit logged.
class CrashHarness {
 public:
  struct Options {
    std::filesystem::path child;      // the trevalo_crash_child program
    std::filesystem::path directory;  // where the days' directories go
    int kills = 50;
    std::uint64_t seed = 1;
    // After the child is ready, the kill comes within this many milliseconds; one kill in
    // five comes instead while the child is still restoring its state.
    double maximumDelayMilliseconds = 400.0;
  };

  struct Report {
    int kills = 0;
    int killsWhileRestoring = 0;
    int lives = 0;
    int daysCompleted = 0;
    int temporariesLeft = 0;     // temporary files found after a kill
    int temporariesSwept = 0;    // of those, removed by the next life
    int filesLoaded = 0;         // files that loaded whole and current after a kill
    int descriptorsChecked = 0;  // accepted work found in the file after a kill
    int visitsLogged = 0;        // distinct visits the service received
    int logsReceivedAgain = 0;   // the same visit log received again after a kill
    std::vector<std::string> failures;

    std::string summary() const;
  };

  explicit CrashHarness(Options options);
  Report run();

 private:
  Options options_;
};

}  // namespace trevalo::crash
