#include "analyzer/modes/TRBurstMode.h"

#include <utility>

#include "analyzer/modes/ModeTimer.h"
#include "vell/TRMath.h"

namespace trevalo {

TRBurstMode::TRBurstMode(std::weak_ptr<TRModeDelegate> delegate,
                         std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

TRBurstMode::~TRBurstMode() {
  mode_detail::invalidate(timer_);
}

void TRBurstMode::willEnterModeFrom(TRMode, const TRModeArguments&) {
  mode_detail::invalidate(timer_);
  const auto& history = context()->locations;
  auto snapshot = TRMath::getLastItemsFrom(history, kEarlierSamples);
  if (!history.empty()) {
    if (const auto analyzer = delegate()) analyzer->reverseGeocode(history.back());
  }
  burstLocations_ = std::move(snapshot);
  timer_ = mode_detail::scheduleOneShot(*this, kDuration, &TRBurstMode::timerFired);
}

TRMode TRBurstMode::processLocation(const std::shared_ptr<TRVellLocation>& location) {
  burstLocations_.push_back(location);
  return TRModeBurst;
}

void TRBurstMode::willExitToMode(TRMode) {
  mode_detail::invalidate(timer_);
}

TRModeArguments TRBurstMode::result() const {
  return burstLocations_;
}

void TRBurstMode::timerFired() {
  changeModeTo(TRModeVisit);
}

}  // namespace trevalo
