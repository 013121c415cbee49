#pragma once

#include <string>
#include <string_view>

#include "simulation/PowerModel.h"
#include "simulation/RecordedRun.h"
#include "simulation/RunSummary.h"
#include "simulation/Trace.h"

namespace trevalo::simulation {

// The replay as one self-contained HTML page (inline SVG and CSS, no scripts, nothing fetched
// from anywhere): a map of the trace coloured by the analyzer's mode, with the visits as
// labelled circles and the geofence-sleep regions; under it a timeline of modes, strategies
// and the power satellite positioning drew; then the summary.
class HtmlReport {
 public:
  struct Options {
    std::string title = "Trevalo replay";
    PowerModel model{};
  };

  static std::string render(const Trace& trace, const RecordedRun& run, const RunSummary& summary,
                            const Options& options);
  static std::string render(const Trace& trace, const RecordedRun& run, const RunSummary& summary) {
    return render(trace, run, summary, Options());
  }

  // Text made safe for HTML element content and attribute values.
  static std::string escape(std::string_view text);
  // The colour the map and the timeline give a mode.
  static const char* colour(TRMode mode) noexcept;
};

}  // namespace trevalo::simulation
