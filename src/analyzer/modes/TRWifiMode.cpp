#include "analyzer/modes/TRWifiMode.h"

#include <utility>

namespace trevalo {

TRWifiMode::TRWifiMode(std::weak_ptr<TRModeDelegate> delegate,
                       std::shared_ptr<TRLocationAnalyzerContext> context)
    : TRAbstractMode(std::move(delegate), std::move(context)) {}

void TRWifiMode::willEnterModeFrom(TRMode, const TRModeArguments& arguments) {
  const auto* handed = std::get_if<std::shared_ptr<MetaOperationBase>>(&arguments);
  operation = handed ? *handed : nullptr;
}

TRMode TRWifiMode::processLocation(const std::shared_ptr<TRVellLocation>&) {
  return TRModeWifi;
}

void TRWifiMode::processWifiChange(bool left) {
  if (left) changeModeTo(TRModeVisitWalking);
}

void TRWifiMode::processOperationFinished(const std::shared_ptr<MetaOperationBase>&) {}

}  // namespace trevalo
