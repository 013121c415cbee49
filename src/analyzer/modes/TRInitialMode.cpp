#include "analyzer/modes/TRInitialMode.h"

#include <utility>

#include "analyzer/modes/ModeTimer.h"

namespace trevalo {

TRInitialMode::TRInitialMode(std::weak_ptr<TRModeDelegate> delegate,
                             std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

TRInitialMode::~TRInitialMode() {
  mode_detail::invalidate(timer_);
}

void TRInitialMode::willEnterModeFrom(TRMode, const TRModeArguments&) {
  mode_detail::invalidate(timer_);
  timer_ = mode_detail::scheduleOneShot(*this, kDuration, &TRInitialMode::timerFired);
}

TRMode TRInitialMode::processLocation(const std::shared_ptr<TRVellLocation>&) {
  return TRModeInitial;
}

void TRInitialMode::willExitToMode(TRMode) {
  mode_detail::invalidate(timer_);
}

void TRInitialMode::timerFired() {
  changeModeTo(TRModeWalking);
}

}  // namespace trevalo
