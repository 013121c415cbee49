#include "simulation/RunSummary.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "simulation/TimeText.h"
#include "utils/TRUtils.h"

namespace trevalo::simulation {

namespace {

std::string withoutPrefix(std::string name, std::string_view prefix) {
  if (name.starts_with(prefix) && name.size() > prefix.size()) name.erase(0, prefix.size());
  return name;
}

bool samePlace(const VisitRecord& a, const VisitRecord& b) {
  return a.venueId == b.venueId && a.addressId == b.addressId && a.venueName == b.venueName;
}

void collectVisits(const RecordedRun& run, Date end, std::vector<RunSummary::Visit>& visits) {
  struct Open {
    VisitRecord record;
    std::size_t index;
  };
  std::vector<Open> open;
  for (const RunEvent& event : run.events) {
    if (event.kind != RunEvent::Kind::kVisitStart && event.kind != RunEvent::Kind::kVisitEnd) {
      continue;
    }
    const VisitRecord& record = event.visit;
    if (!record.arrival) continue;  // a place without dates: the early guess at a stop
    const auto match = std::find_if(open.begin(), open.end(), [&](const Open& candidate) {
      return candidate.record.arrival == record.arrival && samePlace(candidate.record, record);
    });
    if (event.kind == RunEvent::Kind::kVisitStart) {
      if (match != open.end()) continue;  // the same visit reported again
      visits.push_back({record.placeName(), *record.arrival, std::nullopt, 0.0, record.coordinate});
      open.push_back({record, visits.size() - 1});
      continue;
    }
    const Date departure = record.departure.value_or(event.time);
    if (match != open.end()) {
      visits[match->index].departure = departure;
      open.erase(match);
    } else {
      // A visit that began before the run.
      visits.push_back({record.placeName(), *record.arrival, departure, 0.0, record.coordinate});
    }
  }
  for (RunSummary::Visit& visit : visits) {
    visit.dwell = visit.departure.value_or(end).timeIntervalSinceDate(visit.arrival);
  }
  std::stable_sort(visits.begin(), visits.end(),
                   [](const auto& a, const auto& b) { return a.arrival < b.arrival; });
}

// The name cut or padded to `width` characters: columns line up for names beyond ASCII too
// (a UTF-8 character is cut whole).
std::string paddedPlace(const std::string& name, std::size_t width) {
  std::string result;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < name.size();) {
    std::size_t length = 1;
    const auto lead = static_cast<unsigned char>(name[i]);
    if (lead >= 0xf0) {
      length = 4;
    } else if (lead >= 0xe0) {
      length = 3;
    } else if (lead >= 0xc0) {
      length = 2;
    }
    if (characters == width || i + length > name.size()) break;
    result.append(name, i, length);
    i += length;
    ++characters;
  }
  result.append(width - characters, ' ');
  return result;
}

}  // namespace

std::string shortModeName(TRMode mode) {
  return withoutPrefix(TRUtils::strForMode(mode), "TRMode");
}

std::string shortStrategyName(StrategyType strategy) {
  return withoutPrefix(TRUtils::strForStrategy(strategy), "StrategyType");
}

RunSummary RunSummary::make(const Trace& trace, const RecordedRun& run, const PowerModel& model) {
  RunSummary summary;
  std::optional<Date> start = trace.start();
  std::optional<Date> end = trace.end();
  for (const RunEvent& event : run.events) {
    if (!start || event.time < *start) start = event.time;
    if (!end || event.time > *end) end = event.time;
  }
  summary.start = start.value_or(Date());
  summary.end = end.value_or(summary.start);
  summary.traceFixes = trace.fixes.size();

  std::map<TRMode, double> modes;
  std::map<AccuracyClass, double> accuracies;
  TRMode mode = TRModeInitial;
  LocationServiceState state;
  Date since = summary.start;
  const auto account = [&](Date until) {
    const double seconds = std::max(0.0, until.timeIntervalSinceDate(since));
    modes[mode] += seconds;
    accuracies[PowerModel::classify(state)] += seconds;
    summary.energyJoules += model.power(state) * seconds / 1000.0;
    since = std::max(since, until);
  };
  for (const RunEvent& event : run.events) {
    switch (event.kind) {
      case RunEvent::Kind::kMode:
        account(event.time);
        mode = event.mode;
        break;
      case RunEvent::Kind::kStrategy:
        account(event.time);
        state = event.service;
        break;
      case RunEvent::Kind::kFix:
        ++summary.deliveredFixes;
        break;
      default:
        break;
    }
  }
  account(summary.end);
  summary.alwaysOnJoules = model.alwaysOnBest() * summary.seconds() / 1000.0;
  for (const auto& [m, seconds] : modes) {
    if (seconds > 0.0) summary.modeSeconds.emplace_back(m, seconds);
  }
  for (const auto& [accuracy, seconds] : accuracies) {
    if (seconds > 0.0) summary.accuracySeconds.emplace_back(accuracy, seconds);
  }
  collectVisits(run, summary.end, summary.visits);
  return summary;
}

std::string RunSummary::text() const {
  std::ostringstream out;
  out << "Replay of " << TimeText::day(start) << ' ' << TimeText::clock(start) << " to "
      << TimeText::clock(end) << " UTC (" << TimeText::duration(seconds()) << ")\n\n";
  out << "Visits: " << visits.size() << '\n';
  for (const Visit& visit : visits) {
    char line[160];
    std::snprintf(line, sizeof line, "  %s %s - %s  %s\n", paddedPlace(visit.place, 28).c_str(),
                  TimeText::clock(visit.arrival).c_str(),
                  visit.departure ? TimeText::clock(*visit.departure).c_str() : "open ",
                  TimeText::duration(visit.dwell).c_str());
    out << line;
  }
  const auto share = [&](double part) {
    char text[32];
    std::snprintf(text, sizeof text, "%3.0f %%", seconds() > 0.0 ? 100.0 * part / seconds() : 0.0);
    return std::string(text);
  };
  out << "\nTime per mode:\n";
  for (const auto& [mode, time] : modeSeconds) {
    char line[120];
    std::snprintf(line, sizeof line, "  %-14s %12s  %s\n", shortModeName(mode).c_str(),
                  TimeText::duration(time).c_str(), share(time).c_str());
    out << line;
  }
  out << "\nLocation service accuracy:\n";
  for (const auto& [accuracy, time] : accuracySeconds) {
    char line[120];
    std::snprintf(line, sizeof line, "  %-14s %12s  %s\n", PowerModel::name(accuracy),
                  TimeText::duration(time).c_str(), share(time).c_str());
    out << line;
  }
  out << "\nFixes: " << deliveredFixes << " delivered of " << traceFixes << " in the trace\n";
  char energy[200];
  const double saved = alwaysOnJoules > 0.0 ? 100.0 * (1.0 - energyJoules / alwaysOnJoules) : 0.0;
  std::snprintf(energy, sizeof energy,
                "Energy: %.0f J (%.1f mWh) against %.0f J for always-on GPS: %.0f %% saved\n",
                energyJoules, energyJoules / 3.6, alwaysOnJoules, saved);
  out << energy;
  return out.str();
}

Json RunSummary::toJson() const {
  Json json = Json::object();
  json["start"] = start.timeIntervalSince1970();
  json["end"] = end.timeIntervalSince1970();
  Json visitList = Json::array();
  for (const Visit& visit : visits) {
    visitList.push_back(
        {{"place", visit.place},
         {"arrival", visit.arrival.timeIntervalSince1970()},
         {"departure",
          visit.departure ? Json(visit.departure->timeIntervalSince1970()) : Json(nullptr)},
         {"dwell", visit.dwell}});
  }
  json["visits"] = std::move(visitList);
  Json modes = Json::object();
  for (const auto& [mode, time] : modeSeconds)
    modes[shortModeName(mode)] = time;
  json["mode_seconds"] = std::move(modes);
  Json accuracies = Json::object();
  for (const auto& [accuracy, time] : accuracySeconds)
    accuracies[PowerModel::name(accuracy)] = time;
  json["accuracy_seconds"] = std::move(accuracies);
  json["trace_fixes"] = traceFixes;
  json["delivered_fixes"] = deliveredFixes;
  json["energy_joules"] = energyJoules;
  json["always_on_joules"] = alwaysOnJoules;
  return json;
}

}  // namespace trevalo::simulation
