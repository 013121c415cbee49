#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "trevalo/platform/ReachabilitySource.h"
#include "trevalo/platform/ReachabilityTarget.h"

namespace trevalo {

enum NetworkStatus : std::int32_t {
  NetworkStatusNotReachable = 0,
  NetworkStatusViaWiFi = 1,
  NetworkStatusViaCellular = 2,
};

// Posted on the run loop, with the monitor that saw the change (a std::shared_ptr<Reachability>)
// as the notification's object.
inline constexpr const char* kReachabilityChangedNotification =
    "kNetworkReachabilityChangedNotification";

// Whether one target can be reached now, and over which kind of link, from the installed
// platform's reachability source. While its notifier runs, a change of the target's flags
// posts kReachabilityChangedNotification on the platform's run loop. Use a monitor from the
// run loop's thread.
class Reachability : public std::enable_shared_from_this<Reachability> {
 public:
  using Flags = platform::ReachabilitySource::Flags;

  // Nothing when no monitor can be made: a name that cannot be a host name, an address that is
  // not IPv4.
  static std::shared_ptr<Reachability> reachabilityWithHostName(const std::string& hostName);
  static std::shared_ptr<Reachability> reachabilityWithAddress(const sockaddr_in& hostAddress);
  // The zero address, standing for the internet in general.
  static std::shared_ptr<Reachability> reachabilityForInternetConnection();
  // The link-local network 169.254.0.0, judged by the local Wi-Fi rule.
  static std::shared_ptr<Reachability> reachabilityForLocalWiFi();

  ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  // True when change notifications are running (already, or from now on); false when the
  // platform cannot watch for changes.
  bool startNotifier();
  void stopNotifier();

  // NetworkStatusNotReachable when the flags cannot be read; otherwise the local Wi-Fi rule or
  // the network rule on the current flags.
  NetworkStatus currentReachabilityStatus() const;
  // Whether the flags can be read and say that a connection must be made first.
  bool connectionRequired() const;

  // The two rules. Each first writes its diagnostic line ("Reachability Flag Status: ...") to
  // the debug logger (TRLogger).
  static NetworkStatus localWiFiStatusForFlags(Flags flags);
  static NetworkStatus networkStatusForFlags(Flags flags);

  bool alwaysReturnLocalWiFiStatus() const noexcept { return alwaysReturnLocalWiFiStatus_; }
  const platform::ReachabilityTarget& target() const noexcept { return target_; }

 private:
  struct Key {
    explicit Key() = default;
  };
  struct Notifier;

 public:
  Reachability(Key, std::shared_ptr<platform::ReachabilitySource> source,
               platform::ReachabilityTarget target, bool alwaysReturnLocalWiFiStatus);

 private:
  static std::shared_ptr<Reachability> make(platform::ReachabilityTarget target,
                                            bool alwaysReturnLocalWiFiStatus);
  std::optional<Flags> readFlags() const;
  static void check(const std::shared_ptr<Notifier>& notifier);

  std::shared_ptr<platform::ReachabilitySource> source_;
  platform::ReachabilityTarget target_;
  bool alwaysReturnLocalWiFiStatus_;
  std::shared_ptr<Notifier> notifier_;
};

}  // namespace trevalo
