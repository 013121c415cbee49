#include "simulation/HtmlReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <sstream>

#include "simulation/TimeText.h"

namespace trevalo::simulation {

namespace {

constexpr double kWidth = 960.0;
constexpr double kMapHeight = 600.0;
constexpr double kMargin = 24.0;
constexpr double kMetersPerDegree = 111320.0;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// A stretch of time in one state.
template <class State>
struct Span {
  Date start;
  Date end;
  State state;
};

std::vector<Span<TRMode>> modeSpans(const RecordedRun& run, const RunSummary& summary) {
  std::vector<Span<TRMode>> spans{{summary.start, summary.end, TRModeInitial}};
  for (const RunEvent& event : run.events) {
    if (event.kind != RunEvent::Kind::kMode) continue;
    spans.back().end = event.time;
    spans.push_back({event.time, summary.end, event.mode});
  }
  return spans;
}

struct StrategyState {
  StrategyType strategy = StrategyTypeUnset;
  LocationServiceState service;
};

std::vector<Span<StrategyState>> strategySpans(const RecordedRun& run, const RunSummary& summary) {
  std::vector<Span<StrategyState>> spans{{summary.start, summary.end, {}}};
  for (const RunEvent& event : run.events) {
    if (event.kind != RunEvent::Kind::kStrategy) continue;
    spans.back().end = event.time;
    spans.push_back({event.time, summary.end, {event.strategy, event.service}});
  }
  return spans;
}

// Longitude and latitude to map pixels, keeping metres square.
class Projection {
 public:
  Projection(double minLat, double maxLat, double minLng, double maxLng)
      : minLng_(minLng), maxLat_(maxLat) {
    const double midLat = (minLat + maxLat) / 2.0;
    cosLat_ = std::cos(midLat * std::numbers::pi / 180.0);
    const double widthDegrees = std::max((maxLng - minLng) * cosLat_, 1e-6);
    const double heightDegrees = std::max(maxLat - minLat, 1e-6);
    scale_ =
        std::min((kWidth - 2 * kMargin) / widthDegrees, (kMapHeight - 2 * kMargin) / heightDegrees);
  }
  double x(double longitude) const { return kMargin + (longitude - minLng_) * cosLat_ * scale_; }
  double y(double latitude) const { return kMargin + (maxLat_ - latitude) * scale_; }
  double pixels(double meters) const { return meters / kMetersPerDegree * scale_; }

 private:
  double minLng_;
  double maxLat_;
  double cosLat_ = 1.0;
  double scale_ = 1.0;
};

std::optional<Coordinate> visitCoordinate(const RunSummary::Visit& visit, const Trace& trace,
                                          Date end) {
  if (visit.coordinate) return visit.coordinate;
  double latitude = 0.0, longitude = 0.0;
  std::size_t count = 0;
  const Date until = visit.departure.value_or(end);
  for (const Location& fix : trace.fixes) {
    if (fix.timestamp() < visit.arrival || fix.timestamp() > until) continue;
    latitude += fix.coordinate().latitude;
    longitude += fix.coordinate().longitude;
    ++count;
  }
  if (count == 0) return std::nullopt;
  return Coordinate{latitude / static_cast<double>(count), longitude / static_cast<double>(count)};
}

std::vector<MonitoredRegion> sleepRegions(const RecordedRun& run) {
  std::vector<MonitoredRegion> regions;
  for (const RunEvent& event : run.events) {
    if (event.kind != RunEvent::Kind::kStrategy) continue;
    for (const MonitoredRegion& region : event.service.regions) {
      if (std::find(regions.begin(), regions.end(), region) == regions.end()) {
        regions.push_back(region);
      }
    }
  }
  return regions;
}

void writeMap(std::ostream& out, const Trace& trace, const RecordedRun& run,
              const RunSummary& summary) {
  std::vector<std::pair<RunSummary::Visit, Coordinate>> visits;
  for (const auto& visit : summary.visits) {
    if (const auto where = visitCoordinate(visit, trace, summary.end))
      visits.emplace_back(visit, *where);
  }
  const auto regions = sleepRegions(run);
  double minLat = 90, maxLat = -90, minLng = 180, maxLng = -180;
  const auto widen = [&](Coordinate c) {
    minLat = std::min(minLat, c.latitude);
    maxLat = std::max(maxLat, c.latitude);
    minLng = std::min(minLng, c.longitude);
    maxLng = std::max(maxLng, c.longitude);
  };
  for (const Location& fix : trace.fixes)
    widen(fix.coordinate());
  for (const auto& [visit, where] : visits)
    widen(where);
  for (const MonitoredRegion& region : regions)
    widen(region.center);
  out << "<svg class=\"map\" viewBox=\"0 0 " << kWidth << ' ' << kMapHeight
      << "\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"map of the trace\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#f7f7f2\"/>\n";
  if (minLat > maxLat) {
    out << "<text x=\"" << kWidth / 2 << "\" y=\"" << kMapHeight / 2
        << "\" text-anchor=\"middle\">The trace has no fixes.</text>\n</svg>\n";
    return;
  }
  const Projection projection(minLat, maxLat, minLng, maxLng);

  // The path, one polyline per stretch in one mode; points closer than a pixel are skipped.
  const auto spans = modeSpans(run, summary);
  std::size_t span = 0;
  std::optional<TRMode> lineMode;
  std::pair<double, double> last{-1e9, -1e9};
  const auto closeLine = [&] {
    if (lineMode) out << "\"/>\n";
  };
  for (const Location& fix : trace.fixes) {
    while (span + 1 < spans.size() && spans[span + 1].start <= fix.timestamp())
      ++span;
    const TRMode mode = spans[span].state;
    const double x = projection.x(fix.coordinate().longitude);
    const double y = projection.y(fix.coordinate().latitude);
    if (lineMode != mode) {
      const bool continues = lineMode.has_value();
      closeLine();
      out << "<polyline class=\"path\" stroke=\"" << HtmlReport::colour(mode) << "\" points=\"";
      if (continues) out << number(last.first) << ',' << number(last.second) << ' ';
      lineMode = mode;
    } else if (std::hypot(x - last.first, y - last.second) < 1.0) {
      continue;
    }
    out << number(x) << ',' << number(y) << ' ';
    last = {x, y};
  }
  closeLine();

  for (const MonitoredRegion& region : regions) {
    out << "<circle class=\"sleep\" cx=\"" << number(projection.x(region.center.longitude))
        << "\" cy=\"" << number(projection.y(region.center.latitude)) << "\" r=\""
        << number(std::max(3.0, projection.pixels(region.radius))) << "\"><title>"
        << HtmlReport::escape(region.identifier) << "</title></circle>\n";
  }
  for (const auto& [visit, where] : visits) {
    const double x = projection.x(where.longitude);
    const double y = projection.y(where.latitude);
    const std::string label = HtmlReport::escape(visit.place) + " " +
                              TimeText::clock(visit.arrival) + "–" +
                              (visit.departure ? TimeText::clock(*visit.departure) : "");
    out << "<circle class=\"visit\" cx=\"" << number(x) << "\" cy=\"" << number(y) << "\" r=\""
        << number(std::max(7.0, projection.pixels(50.0))) << "\"/>\n"
        << "<text class=\"label\" x=\"" << number(x + 10) << "\" y=\"" << number(y - 10) << "\">"
        << label << "</text>\n";
  }
  out << "</svg>\n";
}

const char* strategyColour(StrategyType strategy) {
  static constexpr const char* kPalette[] = {"#bdbdbd", "#8d6e63", "#66bb6a", "#2e7d32", "#1565c0",
                                             "#ffb74d", "#ef6c00", "#ad1457", "#616161", "#fdd835",
                                             "#00838f", "#d84315", "#9ccc65", "#6a1b9a"};
  const auto index = static_cast<std::size_t>(static_cast<int>(strategy) + 1);
  return index < std::size(kPalette) ? kPalette[index] : "#000000";
}

void writeTimeline(std::ostream& out, const RecordedRun& run, const RunSummary& summary,
                   const PowerModel& model) {
  constexpr double kLeft = 110.0, kRow = 26.0, kChart = 90.0;
  const double width = kWidth - kLeft - kMargin;
  const double seconds = std::max(summary.seconds(), 1.0);
  const auto x = [&](Date t) {
    return kLeft + width * std::clamp(t.timeIntervalSinceDate(summary.start) / seconds, 0.0, 1.0);
  };
  const double height = 2 * kRow + kChart + 60.0;
  out << "<svg class=\"timeline\" viewBox=\"0 0 " << kWidth << ' ' << height
      << "\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"timeline\">\n";
  out << "<text x=\"4\" y=\"" << 18 << "\">modes</text>\n";
  for (const auto& span : modeSpans(run, summary)) {
    if (span.end <= span.start) continue;
    out << "<rect x=\"" << number(x(span.start)) << "\" y=\"4\" width=\""
        << number(std::max(0.5, x(span.end) - x(span.start))) << "\" height=\"" << kRow - 6
        << "\" fill=\"" << HtmlReport::colour(span.state) << "\"><title>"
        << shortModeName(span.state) << ' ' << TimeText::clock(span.start) << "–"
        << TimeText::clock(span.end) << "</title></rect>\n";
  }
  out << "<text x=\"4\" y=\"" << kRow + 18 << "\">strategies</text>\n";
  const auto strategies = strategySpans(run, summary);
  for (const auto& span : strategies) {
    if (span.end <= span.start) continue;
    const double left = x(span.start), right = x(span.end);
    out << "<rect x=\"" << number(left) << "\" y=\"" << kRow + 4 << "\" width=\""
        << number(std::max(0.5, right - left)) << "\" height=\"" << kRow - 6 << "\" fill=\""
        << strategyColour(span.state.strategy) << "\"><title>"
        << shortStrategyName(span.state.strategy) << ' ' << TimeText::clock(span.start) << "–"
        << TimeText::clock(span.end) << "</title></rect>\n";
  }
  // Satellite power as a step line, scaled to the always-on figure.
  const double top = 2 * kRow + 10.0;
  const double full = std::max(model.alwaysOnBest(), 1.0);
  const auto y = [&](double milliwatts) { return top + kChart * (1.0 - milliwatts / full); };
  out << "<text x=\"4\" y=\"" << number(top + kChart / 2) << "\">GPS power</text>\n"
      << "<text class=\"axis\" x=\"" << kLeft - 4 << "\" y=\"" << number(top + 4)
      << "\" text-anchor=\"end\">" << number(full) << " mW</text>\n"
      << "<line class=\"axis\" x1=\"" << kLeft << "\" y1=\"" << number(top + kChart) << "\" x2=\""
      << kLeft + width << "\" y2=\"" << number(top + kChart) << "\"/>\n"
      << "<polyline class=\"power\" points=\"";
  for (const auto& span : strategies) {
    const double level = y(model.satellitePower(span.state.service));
    out << number(x(span.start)) << ',' << number(level) << ' ' << number(x(span.end)) << ','
        << number(level) << ' ';
  }
  out << "\"/>\n";
  // Hour ticks.
  const double firstHour = std::ceil(summary.start.timeIntervalSince1970() / 3600.0) * 3600.0;
  const double step = seconds > 12 * 3600.0 ? 7200.0 : 3600.0;
  for (double t = firstHour; t <= summary.end.timeIntervalSince1970(); t += step) {
    out << "<text class=\"axis\" x=\"" << number(x(Date(t))) << "\" y=\""
        << number(top + kChart + 18) << "\" text-anchor=\"middle\">" << TimeText::clock(Date(t))
        << "</text>\n";
  }
  out << "</svg>\n";
}

}  // namespace

const char* HtmlReport::colour(TRMode mode) noexcept {
  switch (mode) {
    case TRModeInitial:
      return "#9e9e9e";
    case TRModeWalking:
      return "#2e7d32";
    case TRModeBurst:
      return "#f9a825";
    case TRModeCar:
      return "#1565c0";
    case TRModeVisit:
      return "#c62828";
    case TRModeVisitWalking:
      return "#ef6c00";
    case TRModeGeofence:
      return "#6a1b9a";
    case TRModeWifi:
      return "#00838f";
  }
  return "#000000";
}

std::string HtmlReport::escape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string HtmlReport::render(const Trace& trace, const RecordedRun& run,
                               const RunSummary& summary, const Options& options) {
  std::ostringstream out;
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
      << escape(options.title) << "</title>\n<style>\n"
      << "body{font-family:sans-serif;margin:1.5em;color:#222;max-width:980px}\n"
      << "svg{display:block;width:100%;height:auto;border:1px solid #ccc;margin:0.5em 0}\n"
      << ".path{fill:none;stroke-width:3;stroke-linejoin:round;stroke-linecap:round}\n"
      << ".visit{fill:rgba(198,40,40,0.15);stroke:#c62828;stroke-width:2}\n"
      << ".sleep{fill:rgba(106,27,154,0.12);stroke:#6a1b9a;stroke-dasharray:3 2}\n"
      << ".label{font-size:13px;paint-order:stroke;stroke:#fff;stroke-width:3px}\n"
      << ".power{fill:none;stroke:#d84315;stroke-width:2}\n"
      << ".axis{font-size:11px;stroke:#999;fill:#555}\n"
      << "text{font-size:12px}\n.legend span{display:inline-block;margin-right:1em}\n"
      << ".legend i{display:inline-block;width:1em;height:0.6em;margin-right:0.3em}\n"
      << "pre{background:#f4f4f4;padding:1em;overflow-x:auto}\n"
      << "</style>\n</head>\n<body>\n<h1>" << escape(options.title) << "</h1>\n"
      << "<p>" << TimeText::day(summary.start) << ", " << TimeText::clock(summary.start) << " to "
      << TimeText::clock(summary.end) << " UTC; " << summary.visits.size() << " visits; "
      << summary.deliveredFixes << " of " << summary.traceFixes << " fixes delivered.</p>\n";
  writeMap(out, trace, run, summary);
  out << "<p class=\"legend\">";
  for (int mode = TRModeInitial; mode <= TRModeWifi; ++mode) {
    out << "<span><i style=\"background:" << colour(static_cast<TRMode>(mode)) << "\"></i>"
        << shortModeName(static_cast<TRMode>(mode)) << "</span>";
  }
  out << "<span><i style=\"background:rgba(106,27,154,0.3)\"></i>geofence-sleep region</span>"
      << "</p>\n";
  writeTimeline(out, run, summary, options.model);
  out << "<h2>Summary</h2>\n<pre>" << escape(summary.text()) << "</pre>\n</body>\n</html>\n";
  return out.str();
}

}  // namespace trevalo::simulation
