#include "trevalo/platform/Application.h"

namespace trevalo::platform {

Application::Application(std::shared_ptr<NotificationCenter> notificationCenter)
    : notificationCenter_(std::move(notificationCenter)) {}

std::optional<std::string> Application::bundleIdentifier() const {
  const std::lock_guard lock(mutex_);
  return bundleIdentifier_;
}

void Application::setBundleIdentifier(std::optional<std::string> identifier) {
  const std::lock_guard lock(mutex_);
  bundleIdentifier_ = std::move(identifier);
}

ApplicationState Application::applicationState() const {
  const std::lock_guard lock(mutex_);
  return state_;
}

void Application::setApplicationState(ApplicationState state) {
  ApplicationState previous;
  {
    const std::lock_guard lock(mutex_);
    previous = state_;
    state_ = state;
  }
  if (state == previous) return;
  if (state == ApplicationState::kActive) {
    notificationCenter_->postNotificationName(kDidBecomeActiveNotification);
  } else if (state == ApplicationState::kBackground) {
    notificationCenter_->postNotificationName(kDidEnterBackgroundNotification);
  }
}

BackgroundTaskIdentifier Application::beginBackgroundTaskWithExpirationHandler(
    std::function<void()> handler) {
  const std::lock_guard lock(mutex_);
  const BackgroundTaskIdentifier identifier = nextTask_++;
  tasks_.emplace(identifier, std::move(handler));
  taskLog_.push_back("begin:" + std::to_string(identifier));
  return identifier;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
  std::function<void()> released;
  const std::lock_guard lock(mutex_);
  taskLog_.push_back("end:" + std::to_string(identifier));
  if (const auto it = tasks_.find(identifier); it != tasks_.end()) {
    released = std::move(it->second);
    tasks_.erase(it);
  }
}

std::vector<BackgroundTaskIdentifier> Application::activeBackgroundTasks() const {
  const std::lock_guard lock(mutex_);
  std::vector<BackgroundTaskIdentifier> identifiers;
  for (const auto& [identifier, handler] : tasks_)
    identifiers.push_back(identifier);
  return identifiers;
}

std::vector<std::string> Application::backgroundTaskLog() const {
  const std::lock_guard lock(mutex_);
  return taskLog_;
}

bool Application::expireBackgroundTask(BackgroundTaskIdentifier identifier) {
  std::function<void()> handler;
  {
    const std::lock_guard lock(mutex_);
    const auto it = tasks_.find(identifier);
    if (it == tasks_.end()) return false;
    handler = it->second;
  }
  if (handler) handler();
  return true;
}

bool Application::isNetworkActivityIndicatorVisible() const {
  const std::lock_guard lock(mutex_);
  return networkActivityIndicatorVisible_;
}

void Application::setNetworkActivityIndicatorVisible(bool visible) {
  const std::lock_guard lock(mutex_);
  networkActivityIndicatorVisible_ = visible;
}

}  // namespace trevalo::platform
