#include "analyzer/modes/TRAbstractMode.h"

#include <utility>

#include "analyzer/modes/TRBurstMode.h"
#include "analyzer/modes/TRCarMode.h"
#include "analyzer/modes/TRGeofenceMode.h"
#include "analyzer/modes/TRInitialMode.h"
#include "analyzer/modes/TRVisitMode.h"
#include "analyzer/modes/TRVisitWalkingMode.h"
#include "analyzer/modes/TRWalkingMode.h"
#include "analyzer/modes/TRWifiMode.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

namespace {

template <class Mode>
std::shared_ptr<TRAbstractMode> makeMode(std::weak_ptr<TRModeDelegate> delegate,
                                         std::shared_ptr<TRLocationAnalyzerContext> context) {
  return std::make_shared<Mode>(std::move(delegate), std::move(context));
}

}  // namespace

TRAbstractMode::TRAbstractMode(std::weak_ptr<TRModeDelegate> delegate,
                               std::shared_ptr<TRLocationAnalyzerContext> context)
    : delegate_(std::move(delegate)), context_(std::move(context)) {}

std::shared_ptr<TRAbstractMode> TRAbstractMode::modeFor(
    TRMode mode, std::weak_ptr<TRModeDelegate> delegate,
    std::shared_ptr<TRLocationAnalyzerContext> context) {
  switch (mode) {
    case TRModeInitial:
      return makeMode<TRInitialMode>(std::move(delegate), std::move(context));
    case TRModeWalking:
      return makeMode<TRWalkingMode>(std::move(delegate), std::move(context));
    case TRModeBurst:
      return makeMode<TRBurstMode>(std::move(delegate), std::move(context));
    case TRModeCar:
      return makeMode<TRCarMode>(std::move(delegate), std::move(context));
    case TRModeVisit:
      return makeMode<TRVisitMode>(std::move(delegate), std::move(context));
    case TRModeVisitWalking:
      return makeMode<TRVisitWalkingMode>(std::move(delegate), std::move(context));
    case TRModeGeofence:
      return makeMode<TRGeofenceMode>(std::move(delegate), std::move(context));
    case TRModeWifi:
      return makeMode<TRWifiMode>(std::move(delegate), std::move(context));
  }
  throw Exception(Exception::kInvalidArgument, "Unsupported mode");
}

TRMode TRAbstractMode::processLocation(const std::shared_ptr<TRVellLocation>&) {
  throw Exception(Exception::kInternalInconsistency, "Abstract method");
}

void TRAbstractMode::willExitToMode(TRMode) {}

void TRAbstractMode::processActivityChange(std::uint64_t, std::uint64_t) {}

void TRAbstractMode::willEnterModeFrom(TRMode, const TRModeArguments&) {}

void TRAbstractMode::processWifiChange(bool) {}

TRModeArguments TRAbstractMode::result() const {
  return {};
}

void TRAbstractMode::processOperationFinished(const std::shared_ptr<MetaOperationBase>&) {}

void TRAbstractMode::changeModeTo(TRMode mode) const {
  if (const auto analyzer = delegate()) analyzer->changeModeTo(mode);
}

}  // namespace trevalo
