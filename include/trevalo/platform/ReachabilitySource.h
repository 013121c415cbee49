#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "trevalo/platform/NotificationCenter.h"
#include "trevalo/platform/ReachabilityTarget.h"

namespace trevalo::platform {

// The platform's network-reachability service: the flags that describe whether, and over what
// kind of link, a target can be reached now, and a signal when they may have changed. Safe to
// use from any thread.
class ReachabilitySource {
 public:
  using Flags = std::uint32_t;
  static constexpr Flags kTransientConnection = 0x1;
  static constexpr Flags kReachable = 0x2;
  static constexpr Flags kConnectionRequired = 0x4;
  static constexpr Flags kConnectionOnTraffic = 0x8;
  static constexpr Flags kInterventionRequired = 0x10;
  static constexpr Flags kConnectionOnDemand = 0x20;
  static constexpr Flags kIsLocalAddress = 0x10000;
  static constexpr Flags kIsDirect = 0x20000;
  static constexpr Flags kIsWWAN = 0x40000;

  using ChangeHandler = std::function<void()>;

  ReachabilitySource() = default;
  virtual ~ReachabilitySource() = default;
  ReachabilitySource(const ReachabilitySource&) = delete;
  ReachabilitySource& operator=(const ReachabilitySource&) = delete;

  // The flags of `target` now; nothing when they cannot be read.
  virtual std::optional<Flags> flagsForTarget(const ReachabilityTarget& target) const = 0;

  // Calls `handler`, on a thread of the source's choosing, whenever the flags of some target may
  // have changed, until the returned observation ends. Nothing when the source cannot watch
  // for changes.
  [[nodiscard]] virtual std::optional<NotificationCenter::Observation> observeChanges(
      ChangeHandler handler) = 0;
};

}  // namespace trevalo::platform
