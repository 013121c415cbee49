#include "facade/FacadeOptions.h"

#include "json/ParserUtils.h"
#include "trevalo/utils/TRConstants.h"

namespace trevalo {

namespace {

constexpr const char* kDebugModeOption = "_DEBUG_MODE";
constexpr const char* kDebugMovedOption = "_DEBUG_MOVED";

std::optional<Json> numberOption(const Json& values, const char* key) {
  const Json* number = ParserUtils::numberValue(values, key);
  if (!number) return std::nullopt;
  return *number;
}

}  // namespace

FacadeOptions::FacadeOptions(const std::optional<TROptions>& options) {
  if (!options) return;
  const Json values = options->jsonValues();
  debugMode = numberOption(values, kDebugModeOption);
  debugMoved = numberOption(values, kDebugMovedOption);
  useIOSMotionActivity = ParserUtils::boolValueForKey(values, TROptionUseiOSMotionActivity);
  whenInUseOnly = ParserUtils::boolValueForKey(values, TROptionWhenInUseOnly);
  timedUpdatesInterval = ParserUtils::doubleValue(values, TROptionTimedUpdatesInterval);
  readFilters(options->find(TROptionFilter));
}

void FacadeOptions::readFilters(const TROptionValue* value) {
  if (!value) return;
  if (const Json* json = value->json()) {
    if (json->is_null()) return;
    // A JSON list holds no filters, so only an empty one is a list of filters.
    filtersAccepted_ = json->is_array() && json->empty();
    if (filtersAccepted_) filters.emplace();
    return;
  }
  std::vector<std::shared_ptr<TRFilter>> copies;
  for (const auto& record : *value->records()) {
    const auto filter = std::dynamic_pointer_cast<const TRFilter>(record);
    if (!filter) {
      filtersAccepted_ = false;
      return;
    }
    // The SDK keeps filters of its own: the application may change its records later, on
    // another thread, while the SDK reads them.
    copies.push_back(std::make_shared<TRFilter>(*filter));
  }
  filters = std::move(copies);
}

bool FacadeOptions::intervalAccepted() const noexcept {
  return !wantsTimedUpdates() || timedUpdatesInterval >= kMinimumTimedUpdatesInterval;
}

TROptions FacadeOptions::withoutRefused(TROptions options) {
  const FacadeOptions read(options);
  if (!read.filtersAccepted()) options.erase(TROptionFilter);
  if (!read.intervalAccepted()) options.erase(TROptionTimedUpdatesInterval);
  return options;
}

}  // namespace trevalo
