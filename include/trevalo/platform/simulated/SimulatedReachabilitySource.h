#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "trevalo/platform/NotificationCenter.h"
#include "trevalo/platform/ReachabilitySource.h"

namespace trevalo::platform {

// The reachability source of tests and replays. Every target reads the default flags (the
// internet reachable over Wi-Fi, kReachable, at first) unless flags were set for it; flags set
// to nothing make the target unreadable. Every change calls the change handlers on the
// changing thread.
class SimulatedReachabilitySource final : public ReachabilitySource {
 public:
  explicit SimulatedReachabilitySource(std::optional<Flags> defaultFlags = kReachable);

  std::optional<Flags> flagsForTarget(const ReachabilityTarget& target) const override;
  [[nodiscard]] std::optional<NotificationCenter::Observation> observeChanges(
      ChangeHandler handler) override;

  void setDefaultFlags(std::optional<Flags> flags);
  void setFlagsForTarget(const ReachabilityTarget& target, std::optional<Flags> flags);
  // Lets a target read the default flags again.
  void clearFlagsForTarget(const ReachabilityTarget& target);
  // Signals a change without changing anything, as a platform may.
  void signalChange();
  // When false, observeChanges gives nothing (a platform that cannot watch).
  void setCanObserveChanges(bool canObserve);

 private:
  static constexpr const char* kChanged = "SimulatedReachabilityChanged";

  NotificationCenter changes_;
  mutable std::mutex mutex_;
  std::optional<Flags> defaultFlags_;
  std::map<ReachabilityTarget, std::optional<Flags>> flags_;
  bool canObserve_ = true;
};

}  // namespace trevalo::platform
