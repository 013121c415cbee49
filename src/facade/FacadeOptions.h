#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/utils/TROptions.h"

namespace trevalo {

// What a start takes from its options dictionary, read with the tolerant value readers (a
// missing option or one of the wrong kind reads as 0, false or nothing), and whether the two
// checked options pass their checks.
class FacadeOptions {
 public:
  static constexpr double kTimedUpdatesThreshold = 0.001;  // seconds; at or below: none
  static constexpr double kMinimumTimedUpdatesInterval = 1.0;

  explicit FacadeOptions(const std::optional<TROptions>& options);

  // Whether "options_filter" is absent (or null), or a list of filters (an empty JSON list
  // counts as an empty list of filters). Anything else, including a list with an entry that is
  // not a filter, is refused.
  bool filtersAccepted() const noexcept { return filtersAccepted_; }
  // Whether the timed-updates interval asks for no timed updates or for 1 s or more.
  bool intervalAccepted() const noexcept;
  bool wantsTimedUpdates() const noexcept { return timedUpdatesInterval > kTimedUpdatesThreshold; }
  // `options` without the entries that fail their checks.
  static TROptions withoutRefused(TROptions options);

  std::optional<Json> debugMode;   // "_DEBUG_MODE", a number
  std::optional<Json> debugMoved;  // "_DEBUG_MOVED", a number
  bool useIOSMotionActivity = false;
  bool whenInUseOnly = false;
  double timedUpdatesInterval = 0.0;
  // Copies of the filters (nothing when the option is absent or refused).
  std::optional<std::vector<std::shared_ptr<TRFilter>>> filters;

 private:
  void readFilters(const TROptionValue* value);

  bool filtersAccepted_ = true;
};

}  // namespace trevalo
