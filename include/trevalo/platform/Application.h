#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/platform/NotificationCenter.h"

namespace trevalo::platform {

enum class ApplicationState { kActive, kInactive, kBackground };

using BackgroundTaskIdentifier = std::uint64_t;
inline constexpr BackgroundTaskIdentifier kInvalidBackgroundTask = 0;

// The host application as the SDK sees it: its bundle identifier, its lifecycle (the embedding
// application reports changes with `setApplicationState`, which posts the notifications below),
// background tasks, and the network-activity indicator. Safe to use from any thread.
class Application {
 public:
  static constexpr const char* kDidBecomeActiveNotification =
      "ApplicationDidBecomeActiveNotification";
  static constexpr const char* kDidEnterBackgroundNotification =
      "ApplicationDidEnterBackgroundNotification";

  explicit Application(std::shared_ptr<NotificationCenter> notificationCenter);

  std::optional<std::string> bundleIdentifier() const;
  void setBundleIdentifier(std::optional<std::string> identifier);

  ApplicationState applicationState() const;
  // Records the new state; entering kActive or kBackground from another state posts the
  // matching notification on the calling thread.
  void setApplicationState(ApplicationState state);

  // A new task identifier (never kInvalidBackgroundTask). The platform calls the expiration
  // handler, possibly on another thread, when it is about to end the task.
  BackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
  // Ends a task. Ending an unknown or already ended task is recorded and does nothing else.
  void endBackgroundTask(BackgroundTaskIdentifier identifier);

  // For tests and embedders: the tasks begun and not yet ended, the log of begin and end calls
  // ("begin:3", "end:2"), and expiry of a task (runs its handler on the calling thread).
  std::vector<BackgroundTaskIdentifier> activeBackgroundTasks() const;
  std::vector<std::string> backgroundTaskLog() const;
  bool expireBackgroundTask(BackgroundTaskIdentifier identifier);

  bool isNetworkActivityIndicatorVisible() const;
  void setNetworkActivityIndicatorVisible(bool visible);

 private:
  std::shared_ptr<NotificationCenter> notificationCenter_;
  mutable std::mutex mutex_;
  std::optional<std::string> bundleIdentifier_;
  ApplicationState state_ = ApplicationState::kActive;
  BackgroundTaskIdentifier nextTask_ = 1;
  std::map<BackgroundTaskIdentifier, std::function<void()>> tasks_;
  std::vector<std::string> taskLog_;
  bool networkActivityIndicatorVisible_ = false;
};

}  // namespace trevalo::platform
