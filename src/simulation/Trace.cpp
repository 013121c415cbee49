#include "simulation/Trace.h"

#include <algorithm>
#include <utility>

namespace trevalo::simulation {

namespace {

template <class Record, class TimeOf>
void widen(const std::vector<Record>& records, TimeOf timeOf, std::optional<Date>& earliest,
           std::optional<Date>& latest) {
  if (records.empty()) return;
  // Each list is in time order, so its ends are its extremes.
  const Date first = timeOf(records.front());
  const Date last = timeOf(records.back());
  if (!earliest || first < *earliest) earliest = first;
  if (!latest || last > *latest) latest = last;
}

template <class Record, class TimeOf>
void sortByTime(std::vector<Record>& records, TimeOf timeOf) {
  const auto earlier = [&](const Record& a, const Record& b) { return timeOf(a) < timeOf(b); };
  // Recorded traces come in order nearly always: a look costs less than a sort (which needs a
  // buffer as large as the list).
  if (std::is_sorted(records.begin(), records.end(), earlier)) return;
  std::stable_sort(records.begin(), records.end(), earlier);
}

Date fixTime(const Location& fix) {
  return fix.timestamp();
}

template <class Record>
Date recordTime(const Record& record) {
  return record.time;
}

Date headingTime(const platform::Heading& heading) {
  return heading.timestamp;
}

// The earliest and the latest time of any record.
std::pair<std::optional<Date>, std::optional<Date>> span(const Trace& trace) {
  std::optional<Date> earliest;
  std::optional<Date> latest;
  widen(trace.fixes, fixTime, earliest, latest);
  widen(trace.accelerometer, recordTime<AccelerometerSample>, earliest, latest);
  widen(trace.headings, headingTime, earliest, latest);
  widen(trace.wifi, recordTime<WifiChange>, earliest, latest);
  widen(trace.activities, recordTime<ActivityReport>, earliest, latest);
  widen(trace.regions, recordTime<RegionCrossing>, earliest, latest);
  return {earliest, latest};
}

}  // namespace

const char* traceFormatName(TraceFormat format) noexcept {
  switch (format) {
    case TraceFormat::kGpx:
      return "GPX";
    case TraceFormat::kNmea:
      return "NMEA 0183";
    case TraceFormat::kJsonLines:
      return "JSON Lines";
  }
  return "unknown";
}

void ReadingNotes::warn(std::size_t line, const std::string& text) {
  if (warnings.size() < kMaxWarnings) {
    warnings.push_back("line " + std::to_string(line) + ": " + text);
  }
}

std::optional<Date> Trace::start() const {
  return span(*this).first;
}

std::optional<Date> Trace::end() const {
  return span(*this).second;
}

bool Trace::empty() const noexcept {
  return fixes.empty() && accelerometer.empty() && headings.empty() && wifi.empty() &&
         activities.empty() && regions.empty();
}

void Trace::normalise() {
  // A fix is out of order when an earlier line carried a later time.
  std::optional<Date> latestSoFar;
  for (const Location& fix : fixes) {
    if (latestSoFar && fix.timestamp() < *latestSoFar) {
      ++notes.reordered;
    } else {
      latestSoFar = fix.timestamp();
    }
  }
  sortByTime(fixes, fixTime);
  const auto firstDuplicate = std::unique(
      fixes.begin(), fixes.end(),
      [](const Location& a, const Location& b) { return a.timestamp() == b.timestamp(); });
  notes.duplicates += static_cast<std::size_t>(fixes.end() - firstDuplicate);
  fixes.erase(firstDuplicate, fixes.end());

  sortByTime(accelerometer, recordTime<AccelerometerSample>);
  sortByTime(headings, headingTime);
  sortByTime(wifi, recordTime<WifiChange>);
  sortByTime(activities, recordTime<ActivityReport>);
  sortByTime(regions, recordTime<RegionCrossing>);
}

}  // namespace trevalo::simulation
