#include "networking/Reachability.h"

#include <any>
#include <atomic>
#include <cstring>
#include <string_view>
#include <utility>

#include "trevalo/platform/NotificationCenter.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/utils/TRLogger.h"

namespace trevalo {

namespace {

using Source = platform::ReachabilitySource;

void logFlags(Reachability::Flags flags, std::string_view rule) {
  auto mark = [flags](Reachability::Flags flag, char letter) {
    return (flags & flag) != 0 ? letter : '-';
  };
  std::string line = "Reachability Flag Status: ";
  line += mark(Source::kIsWWAN, 'W');
  line += mark(Source::kReachable, 'R');
  line += ' ';
  line += mark(Source::kTransientConnection, 't');
  line += mark(Source::kConnectionRequired, 'c');
  line += mark(Source::kConnectionOnTraffic, 'C');
  line += mark(Source::kInterventionRequired, 'i');
  line += mark(Source::kConnectionOnDemand, 'D');
  line += mark(Source::kIsLocalAddress, 'l');
  line += mark(Source::kIsDirect, 'd');
  line += ' ';
  line += rule;
  TRLogger::instance()->send(line, "reachability", 0.0);
}

}  // namespace

// The running notifier. Change signals may come from any thread; each queues at most one
// check on the run loop, which compares the flags with the last ones seen and posts the
// notification when they differ.
struct Reachability::Notifier {
  std::weak_ptr<Reachability> owner;
  std::shared_ptr<platform::RunLoop> runLoop;
  std::shared_ptr<platform::NotificationCenter> notificationCenter;
  std::optional<platform::NotificationCenter::Observation> observation;
  std::atomic<bool> active{true};
  std::atomic<bool> checkQueued{false};
  std::optional<Flags> lastFlags;  // run loop only
};

Reachability::Reachability(Key, std::shared_ptr<platform::ReachabilitySource> source,
                           platform::ReachabilityTarget target, bool alwaysReturnLocalWiFiStatus)
    : source_(std::move(source)),
      target_(std::move(target)),
      alwaysReturnLocalWiFiStatus_(alwaysReturnLocalWiFiStatus) {}

Reachability::~Reachability() {
  stopNotifier();
}

std::shared_ptr<Reachability> Reachability::make(platform::ReachabilityTarget target,
                                                 bool alwaysReturnLocalWiFiStatus) {
  auto source = platform::Platform::current().reachabilitySource();
  if (!source) return nullptr;
  return std::make_shared<Reachability>(Key{}, std::move(source), std::move(target),
                                        alwaysReturnLocalWiFiStatus);
}

std::shared_ptr<Reachability> Reachability::reachabilityWithHostName(const std::string& hostName) {
  auto target = platform::ReachabilityTarget::forHostName(hostName);
  if (!target) return nullptr;
  return make(std::move(*target), false);
}

std::shared_ptr<Reachability> Reachability::reachabilityWithAddress(
    const sockaddr_in& hostAddress) {
  if (hostAddress.sin_family != AF_INET) return nullptr;
  platform::ReachabilityTarget::IPv4Address address;
  static_assert(sizeof(address) == sizeof(hostAddress.sin_addr.s_addr));
  std::memcpy(address.data(), &hostAddress.sin_addr.s_addr, address.size());
  return make(platform::ReachabilityTarget::forAddress(address), false);
}

std::shared_ptr<Reachability> Reachability::reachabilityForInternetConnection() {
  return make(platform::ReachabilityTarget::internet(), false);
}

std::shared_ptr<Reachability> Reachability::reachabilityForLocalWiFi() {
  return make(platform::ReachabilityTarget::localWiFi(), true);
}

bool Reachability::startNotifier() {
  if (notifier_) return true;
  const auto& services = platform::Platform::current().services();
  auto notifier = std::make_shared<Notifier>();
  notifier->owner = weak_from_this();
  notifier->runLoop = services.runLoop;
  notifier->notificationCenter = services.notificationCenter;
  notifier->lastFlags = readFlags();
  notifier->observation = source_->observeChanges([weak = std::weak_ptr<Notifier>(notifier)] {
    const auto notifier = weak.lock();
    if (!notifier || !notifier->active.load(std::memory_order_acquire)) return;
    if (notifier->checkQueued.exchange(true, std::memory_order_acq_rel)) return;
    notifier->runLoop->post([weak] {
      if (const auto queued = weak.lock()) check(queued);
    });
  });
  if (!notifier->observation) return false;
  notifier_ = std::move(notifier);
  return true;
}

void Reachability::check(const std::shared_ptr<Notifier>& notifier) {
  notifier->checkQueued.store(false, std::memory_order_release);
  if (!notifier->active.load(std::memory_order_acquire)) return;
  const auto owner = notifier->owner.lock();
  if (!owner) return;
  const auto flags = owner->readFlags();
  if (flags == notifier->lastFlags) return;
  notifier->lastFlags = flags;
  notifier->notificationCenter->postNotificationName(kReachabilityChangedNotification,
                                                     std::any(owner));
}

void Reachability::stopNotifier() {
  if (!notifier_) return;
  notifier_->active.store(false, std::memory_order_release);
  // Ending the observation waits for a change signal being delivered on another thread.
  notifier_->observation.reset();
  notifier_.reset();
}

std::optional<Reachability::Flags> Reachability::readFlags() const {
  return source_->flagsForTarget(target_);
}

NetworkStatus Reachability::currentReachabilityStatus() const {
  const auto flags = readFlags();
  if (!flags) return NetworkStatusNotReachable;
  return alwaysReturnLocalWiFiStatus_ ? localWiFiStatusForFlags(*flags)
                                      : networkStatusForFlags(*flags);
}

bool Reachability::connectionRequired() const {
  const auto flags = readFlags();
  return flags && (*flags & Source::kConnectionRequired) != 0;
}

NetworkStatus Reachability::localWiFiStatusForFlags(Flags flags) {
  logFlags(flags, "localWiFiStatusForFlags");
  const bool reachable = (flags & Source::kReachable) != 0 && (flags & Source::kIsDirect) != 0;
  return reachable ? NetworkStatusViaWiFi : NetworkStatusNotReachable;
}

NetworkStatus Reachability::networkStatusForFlags(Flags flags) {
  logFlags(flags, "networkStatusForFlags");
  if ((flags & Source::kReachable) == 0) return NetworkStatusNotReachable;
  NetworkStatus status =
      (flags & Source::kConnectionRequired) == 0 ? NetworkStatusViaWiFi : NetworkStatusNotReachable;
  const bool automatic =
      (flags & (Source::kConnectionOnDemand | Source::kConnectionOnTraffic)) != 0;
  if (automatic && (flags & Source::kInterventionRequired) == 0) status = NetworkStatusViaWiFi;
  if ((flags & Source::kIsWWAN) != 0) status = NetworkStatusViaCellular;
  return status;
}

}  // namespace trevalo
