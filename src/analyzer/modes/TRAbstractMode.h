#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "analyzer/TRLocationAnalyzerContext.h"
#include "analyzer/TRModeDelegate.h"
#include "utils/TRMode.h"
#include "vell/TRVellLocation.h"

namespace trevalo {

class MetaOperationBase;

// What a mode hands to the next one on a switch: nothing, the samples of a burst, or the visit
// operation of a stay.
using TRModeArguments = std::variant<std::monostate, std::vector<std::shared_ptr<TRVellLocation>>,
                                     std::shared_ptr<MetaOperationBase>>;

// One behaviour of the analyzer. The analyzer makes one object per mode value and keeps it for
// its whole life, so what a mode keeps carries over between its turns unless entering it
// resets it. A mode switches through its delegate, the analyzer.
//
// Modes run on the run loop. Their timers are one-shot timers of the platform's run loop that
// hold the mode weakly; a mode invalidates its timer on exit and when it goes away. Create
// modes with `modeFor` (or std::make_shared): a mode not owned by a shared_ptr cannot be
// reached by its timers.
class TRAbstractMode : public std::enable_shared_from_this<TRAbstractMode> {
 public:
  virtual ~TRAbstractMode() = default;
  TRAbstractMode(const TRAbstractMode&) = delete;
  TRAbstractMode& operator=(const TRAbstractMode&) = delete;

  // A new mode object of the class for `mode`. Raises Exception "Unsupported mode" for a value
  // outside Initial..Wifi.
  static std::shared_ptr<TRAbstractMode> modeFor(
      TRMode mode, std::weak_ptr<TRModeDelegate> delegate,
      std::shared_ptr<TRLocationAnalyzerContext> context);

  // The mode that applies after `location` (the analyzer does not use it). Every concrete mode
  // overrides it; this one raises Exception "Abstract method".
  virtual TRMode processLocation(const std::shared_ptr<TRVellLocation>& location);
  virtual void willExitToMode(TRMode mode);
  virtual void processActivityChange(std::uint64_t previousActivity, std::uint64_t newActivity);
  virtual void willEnterModeFrom(TRMode mode, const TRModeArguments& arguments);
  // `left`: the device has left the Wi-Fi network it was on.
  virtual void processWifiChange(bool left);
  virtual TRModeArguments result() const;
  virtual void processOperationFinished(const std::shared_ptr<MetaOperationBase>& operation);

  std::shared_ptr<TRModeDelegate> delegate() const { return delegate_.lock(); }
  const std::shared_ptr<TRLocationAnalyzerContext>& context() const { return context_; }

 protected:
  TRAbstractMode(std::weak_ptr<TRModeDelegate> delegate,
                 std::shared_ptr<TRLocationAnalyzerContext> context);

  // Asks the delegate, if it is still there, to switch.
  void changeModeTo(TRMode mode) const;

 private:
  std::weak_ptr<TRModeDelegate> delegate_;
  std::shared_ptr<TRLocationAnalyzerContext> context_;
};

}  // namespace trevalo
