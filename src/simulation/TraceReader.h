#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "simulation/Trace.h"

namespace trevalo::simulation {

// Reads a trace in whichever format its content shows, whatever its file name says: GPX (the
// first thing in it is XML markup), JSON Lines (a JSON object), or NMEA 0183 (a '$' sentence
// within the first lines; comment lines starting with '#' and receiver noise before it are
// allowed).
class TraceReader {
 public:
  // Nothing when the content fits none of the three.
  static std::optional<TraceFormat> detect(std::string_view bytes);
  // Raises TraceReadError for content that cannot be read at all.
  static Trace read(std::string_view bytes);
  // The same for a file; a file that cannot be opened raises TraceReadError at line 0.
  static Trace readFile(const std::filesystem::path& path);
};

}  // namespace trevalo::simulation
