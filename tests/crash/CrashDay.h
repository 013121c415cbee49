#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

#include "trevalo/platform/Coordinate.h"

namespace trevalo::crash {

// The scripted day the crash harness runs in a child process: 24 steps an hour apart in
// virtual time, cycling through six kinds: a stay at a place (its resolution queued), a walk
// past the place's geofences with new user values saved, a second stay at the same place, the
// flags and options saved, the departure, and a walk far away. The visit tracker, the geofence
// manager, the user values and the user defaults save as they go, in the documents directory;
// the step reached is kept in the user defaults, so a restarted child carries on from there.
//
// What the parent needs to check a life goes to the events journal, each line written once
// the state it reports is on disk: "accepted <stay key>" for a queued stay, "ended <visit
// key>" for an ended visit (its log queued), "values <age>" for saved user values, "step <n>"
// for the steps done, "complete" when all the work has drained at the end of the day.
class CrashDay {
 public:
  static constexpr int kSteps = 24;
  static constexpr double kDayStart = 1767250800.0;  // 2026-01-01T07:00:00Z
  static constexpr double kStepSeconds = 3600.0;
  static constexpr const char* kStepKey = "crash.step";

  // Files of the state directory (outside the documents): the journals.
  static constexpr const char* kEventsJournal = "events.log";
  static constexpr const char* kServiceJournal = "service.log";

  // The coordinate of a stay of `step`: the place of its cycle, moved a little per step so
  // that every stay has its own last point.
  static Coordinate stayCoordinate(int step);

  // Runs the rest of the day: restores the SDK's state from `documents`, writes "ready" to
  // `ready` once restored, and carries on from the step kept in the user defaults. Returns
  // whether all the work drained at the end.
  static bool run(const std::filesystem::path& documents, const std::filesystem::path& state,
                  std::ostream& ready);
};

}  // namespace trevalo::crash
