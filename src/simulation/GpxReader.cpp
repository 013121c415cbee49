#include "simulation/GpxReader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "simulation/NmeaReader.h"
#include "simulation/TimeText.h"
#include "simulation/TraceReadError.h"

namespace trevalo::simulation {

namespace {

// Line numbers of byte offsets, from the positions of the line breaks.
class LineIndex {
 public:
  explicit LineIndex(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n') breaks_.push_back(i);
    }
  }

  std::size_t lineOf(std::ptrdiff_t offset) const {
    if (offset < 0) return 0;
    const auto before =
        std::lower_bound(breaks_.begin(), breaks_.end(), static_cast<std::size_t>(offset));
    return static_cast<std::size_t>(before - breaks_.begin()) + 1;
  }

 private:
  std::vector<std::size_t> breaks_;
};

std::string_view localName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::optional<double> decimal(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r')
    ++text;
  if (*text == '\0') return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')
    ++end;
  if (*end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The first child (or, inside `extensions`, descendant) whose local name is one of `names`.
std::optional<double> valueNamed(const pugi::xml_node& point,
                                 std::initializer_list<std::string_view> names) {
  const auto matches = [&](const pugi::xml_node& node) {
    return std::find(names.begin(), names.end(), localName(node)) != names.end();
  };
  for (const pugi::xml_node child : point.children()) {
    if (child.type() == pugi::node_element && matches(child)) return decimal(child.child_value());
  }
  for (const pugi::xml_node extensions : point.children()) {
    if (localName(extensions) != "extensions") continue;
    std::optional<double> found;
    extensions.find_node([&](const pugi::xml_node& node) {
      if (node.type() != pugi::node_element || !matches(node)) return false;
      found = decimal(node.child_value());
      return true;
    });
    if (found) return found;
  }
  return std::nullopt;
}

std::optional<Location> trackPoint(const pugi::xml_node& point, const char*& why) {
  const auto latitude = decimal(point.attribute("lat").value());
  const auto longitude = decimal(point.attribute("lon").value());
  if (!latitude || !longitude || std::fabs(*latitude) > 90.0 || std::fabs(*longitude) > 180.0) {
    why = "track point without a usable lat and lon";
    return std::nullopt;
  }
  const pugi::xml_node timeNode = point.child("time");
  const auto time = timeNode ? TimeText::parseIso8601(timeNode.child_value()) : std::nullopt;
  if (!time) {
    why = timeNode ? "track point with an unreadable time" : "track point without a time";
    return std::nullopt;
  }
  const auto elevation = valueNamed(point, {"ele"});
  const auto hdop = valueNamed(point, {"hdop"});
  const auto vdop = valueNamed(point, {"vdop"});
  const auto horizontal = valueNamed(point, {"hacc", "accuracy"});
  const auto speed = valueNamed(point, {"speed"});
  const auto course = valueNamed(point, {"course", "bearing"});

  const double accuracy = horizontal && *horizontal >= 0.0 ? *horizontal
                          : hdop && *hdop > 0.0            ? *hdop * NmeaReader::kRangeErrorMeters
                                                           : GpxReader::kAccuracyWithoutHdop;
  const double verticalAccuracy = !elevation            ? -1.0
                                  : vdop && *vdop > 0.0 ? *vdop * NmeaReader::kRangeErrorMeters
                                                        : 1.5 * accuracy;
  const double validSpeed = speed && *speed >= 0.0 ? *speed : -1.0;
  const double validCourse = course && *course >= 0.0 && *course < 360.0 ? *course : -1.0;
  return Location({*latitude, *longitude}, elevation.value_or(0.0), accuracy, verticalAccuracy,
                  validCourse, validSpeed, *time);
}

}  // namespace

Trace GpxReader::read(std::string_view bytes) {
  const LineIndex lines(bytes);
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
  if (!parsed) {
    throw TraceReadError(lines.lineOf(parsed.offset),
                         std::string("not well-formed XML: ") + parsed.description());
  }
  const pugi::xml_node root = document.document_element();
  if (localName(root) != "gpx") {
    throw TraceReadError(
        lines.lineOf(root.offset_debug()),
        "not a GPX file: the root element is <" + std::string(root.name()) + "> instead of <gpx>");
  }

  Trace trace;
  trace.format = TraceFormat::kGpx;
  for (const pugi::xml_node track : root.children("trk")) {
    for (const pugi::xml_node segment : track.children("trkseg")) {
      for (const pugi::xml_node point : segment.children("trkpt")) {
        const char* why = nullptr;
        if (auto fix = trackPoint(point, why)) {
          trace.fixes.push_back(*fix);
        } else {
          ++trace.notes.broken;
          trace.notes.warn(lines.lineOf(point.offset_debug()), why);
        }
      }
    }
  }
  trace.normalise();
  return trace;
}

}  // namespace trevalo::simulation
