#include "trevalo/platform/NotificationCenter.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace trevalo::platform {

struct NotificationCenter::Observation::Entry {
  std::string name;
  Handler handler;
  std::atomic<bool> active{true};
  // Held while the handler runs, and by removal, so that a removal from another thread waits
  // for a delivery in progress. A handler removing itself holds it already (recursive).
  std::recursive_mutex delivering;
};

struct NotificationCenter::Core {
  mutable std::mutex mutex;
  std::vector<std::shared_ptr<Observation::Entry>> entries;

  void remove(const std::shared_ptr<Observation::Entry>& entry) {
    const std::lock_guard lock(mutex);
    std::erase(entries, entry);
  }
};

NotificationCenter::Observation::Observation(std::weak_ptr<Core> center,
                                             std::shared_ptr<Entry> entry)
    : center_(std::move(center)), entry_(std::move(entry)) {}

NotificationCenter::Observation::Observation(Observation&& other) noexcept
    : center_(std::move(other.center_)), entry_(std::move(other.entry_)) {}

NotificationCenter::Observation& NotificationCenter::Observation::operator=(
    Observation&& other) noexcept {
  if (this != &other) {
    reset();
    center_ = std::move(other.center_);
    entry_ = std::move(other.entry_);
  }
  return *this;
}

void NotificationCenter::Observation::reset() {
  if (!entry_) return;
  {
    const std::lock_guard wait(entry_->delivering);
    entry_->active.store(false, std::memory_order_release);
  }
  if (const auto center = center_.lock()) center->remove(entry_);
  entry_.reset();
  center_.reset();
}

NotificationCenter::NotificationCenter() : core_(std::make_shared<Core>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter::Observation NotificationCenter::addObserver(std::string name, Handler handler) {
  auto entry = std::make_shared<Observation::Entry>();
  entry->name = std::move(name);
  entry->handler = std::move(handler);
  {
    const std::lock_guard lock(core_->mutex);
    core_->entries.push_back(entry);
  }
  return Observation(core_, std::move(entry));
}

void NotificationCenter::postNotification(const Notification& notification) {
  std::vector<std::shared_ptr<Observation::Entry>> receivers;
  {
    const std::lock_guard lock(core_->mutex);
    for (const auto& entry : core_->entries) {
      if (entry->name == notification.name) receivers.push_back(entry);
    }
  }
  for (const auto& entry : receivers) {
    const std::lock_guard delivering(entry->delivering);
    if (entry->active.load(std::memory_order_acquire) && entry->handler) {
      entry->handler(notification);
    }
  }
}

void NotificationCenter::postNotificationName(std::string name, std::any object) {
  postNotification(Notification{std::move(name), std::move(object)});
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
  const std::lock_guard lock(core_->mutex);
  return static_cast<std::size_t>(
      std::count_if(core_->entries.begin(), core_->entries.end(),
                    [&](const auto& entry) { return entry->name == name; }));
}

}  // namespace trevalo::platform
