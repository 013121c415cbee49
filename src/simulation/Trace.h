#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Heading.h"
#include "trevalo/platform/Location.h"

namespace trevalo::simulation {

// One accelerometer reading of a recorded trace, stamped with the wall-clock time.
struct AccelerometerSample {
  Date time;
  platform::Acceleration acceleration;  // g, gravity included

  bool operator==(const AccelerometerSample&) const = default;
};

// The Wi-Fi network the device joined at `time`; nothing when it left Wi-Fi.
struct WifiChange {
  Date time;
  std::optional<std::string> ssid;

  bool operator==(const WifiChange&) const = default;
};

// An activity the platform's classifier reported (the SDK's TRActivityMode values).
struct ActivityReport {
  Date time;
  std::uint64_t activity = 0;

  bool operator==(const ActivityReport&) const = default;
};

// A monitored-region crossing the recording device reported.
struct RegionCrossing {
  enum class Kind { kEnter, kExit };
  Date time;
  Kind kind = Kind::kExit;
  std::string identifier;

  bool operator==(const RegionCrossing&) const = default;
};

enum class TraceFormat { kGpx, kNmea, kJsonLines };

const char* traceFormatName(TraceFormat format) noexcept;

// What a reader met on its way that did not stop it: input it skipped and input it mended.
struct ReadingNotes {
  // Lines (or sentences) that could not be used: bad checksums, unusable values, garbage.
  std::size_t broken = 0;
  // Sentences or elements the reader does not use (other NMEA sentences, say).
  std::size_t ignored = 0;
  // Receiver epochs or points without a position fix.
  std::size_t withoutFix = 0;
  // Fixes dropped because an earlier one had the same time.
  std::size_t duplicates = 0;
  // Fixes that came after a later one and were put back in time order.
  std::size_t reordered = 0;
  // The first few problems, each with its line number, for a person to read.
  std::vector<std::string> warnings;

  static constexpr std::size_t kMaxWarnings = 10;
  void warn(std::size_t line, const std::string& text);
};

// A recorded day (or hour) of what a device saw: location fixes, accelerometer readings,
// compass headings, Wi-Fi networks, activity reports and region crossings, each list in time
// order. A plain value the readers make and the player plays.
struct Trace {
  TraceFormat format = TraceFormat::kJsonLines;
  std::vector<Location> fixes;
  std::vector<AccelerometerSample> accelerometer;
  std::vector<platform::Heading> headings;
  std::vector<WifiChange> wifi;
  std::vector<ActivityReport> activities;
  std::vector<RegionCrossing> regions;
  ReadingNotes notes;

  // The earliest and the latest time of any record; nothing for an empty trace.
  std::optional<Date> start() const;
  std::optional<Date> end() const;
  bool empty() const noexcept;

  // Puts every list in time order (stable, so records with one time keep their order); fixes
  // that came out of order are counted in the notes, and of fixes sharing a time only the
  // first is kept.
  void normalise();
};

}  // namespace trevalo::simulation
