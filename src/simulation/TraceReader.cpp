#include "simulation/TraceReader.h"

#include <fstream>
#include <iterator>
#include <string>

#include "simulation/GpxReader.h"
#include "simulation/JsonLinesReader.h"
#include "simulation/NmeaReader.h"
#include "simulation/TraceReadError.h"

namespace trevalo::simulation {

namespace {

// How many lines detection looks at for a first NMEA sentence.
constexpr std::size_t kLinesToLookAt = 50;

bool looksLikeSentence(std::string_view line) {
  const auto dollar = line.find('$');
  if (dollar == std::string_view::npos || line.size() < dollar + 7) return false;
  for (std::size_t i = dollar + 1; i < dollar + 6; ++i) {
    const char c = line[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return line[dollar + 6] == ',';
}

}  // namespace

std::optional<TraceFormat> TraceReader::detect(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::size_t looked = 0;
  std::size_t at = 0;
  bool first = true;
  while (at < bytes.size() && looked < kLinesToLookAt) {
    const auto end = std::min(bytes.find('\n', at), bytes.size());
    const std::string_view line = bytes.substr(at, end - at);
    at = end + 1;
    const auto start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) continue;
    ++looked;
    if (first) {
      first = false;
      if (line[start] == '<') return TraceFormat::kGpx;
      if (line[start] == '{') return TraceFormat::kJsonLines;
    }
    if (looksLikeSentence(line)) return TraceFormat::kNmea;
  }
  return std::nullopt;
}

Trace TraceReader::read(std::string_view bytes) {
  const auto format = detect(bytes);
  if (!format) {
    if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) {
      throw TraceReadError(1, "the trace is empty");
    }
    throw TraceReadError(1, "not a trace: expected GPX, NMEA 0183 or JSON Lines");
  }
  switch (*format) {
    case TraceFormat::kGpx:
      return GpxReader::read(bytes);
    case TraceFormat::kNmea:
      return NmeaReader::read(bytes);
    case TraceFormat::kJsonLines:
      return JsonLinesReader::read(bytes);
  }
  return {};
}

Trace TraceReader::readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TraceReadError(0, "cannot open " + path.string());
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw TraceReadError(0, "cannot read " + path.string());
  return read(bytes);
}

}  // namespace trevalo::simulation
