#include "simulation/JsonLinesReader.h"

#include <cstring>
#include <string>

#include "simulation/JsonTraceLine.h"
#include "simulation/TraceReadError.h"

namespace trevalo::simulation {

namespace {

void add(Trace& trace, JsonTraceLine&& line) {
  using Type = JsonTraceLine::Type;
  switch (line.type) {
    case Type::kFix:
      trace.fixes.push_back(*line.fix);
      break;
    case Type::kActivity:
      trace.activities.push_back({line.time, line.activity});
      break;
    case Type::kWifi:
      trace.wifi.push_back({line.time, std::move(line.ssid)});
      break;
    case Type::kWifiCheck:
      break;
    case Type::kRegionEnter:
    case Type::kRegionExit:
      trace.regions.push_back({line.time,
                               line.type == Type::kRegionEnter ? RegionCrossing::Kind::kEnter
                                                               : RegionCrossing::Kind::kExit,
                               std::move(line.regionIdentifier)});
      break;
    case Type::kAccelerometer:
      for (std::size_t i = 0; i < line.samples.size(); ++i) {
        const double offset =
            line.sampleRate > 0.0 ? static_cast<double>(i) / line.sampleRate : 0.0;
        trace.accelerometer.push_back(
            {line.time.dateByAddingTimeInterval(offset), line.samples[i]});
      }
      break;
    case Type::kHeading:
      trace.headings.push_back(line.heading);
      break;
  }
}

}  // namespace

Trace JsonLinesReader::read(std::string_view bytes) {
  Trace trace;
  trace.format = TraceFormat::kJsonLines;
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  std::optional<Date> previous;
  while (at < bytes.size()) {
    const void* newline = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
    const std::size_t end =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - bytes.data())
                : bytes.size();
    const std::string_view text = bytes.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (text.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    JsonTraceLine line;
    try {
      line = JsonTraceLine::parse(text);
    } catch (const TraceLineError& error) {
      throw TraceReadError(lineNumber, error.what());
    }
    if (previous && line.time < *previous) {
      throw TraceReadError(lineNumber, "\"t\" goes back in time (" +
                                           std::to_string(line.time.timeIntervalSince1970()) +
                                           " after " +
                                           std::to_string(previous->timeIntervalSince1970()) + ")");
    }
    previous = line.time;
    add(trace, std::move(line));
  }
  // Accelerometer batches may overlap the next record's time; everything else is in order.
  trace.normalise();
  return trace;
}

}  // namespace trevalo::simulation
