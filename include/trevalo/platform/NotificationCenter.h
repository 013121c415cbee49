#pragma once

#include <any>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "trevalo/platform/Notification.h"

namespace trevalo::platform {

// Delivers named notifications to the observers of that name, synchronously, on the thread
// that posts, in the order the observers were added.
class NotificationCenter {
  struct Core;

 public:
  using Handler = std::function<void(const Notification&)>;

  // The registration of one observer; it stays registered while the Observation lives (or
  // until `reset`). Once removal has returned, the handler is not called again.
  class Observation {
   public:
    Observation() = default;
    ~Observation() { reset(); }
    Observation(Observation&& other) noexcept;
    Observation& operator=(Observation&& other) noexcept;
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;

    void reset();
    bool isActive() const noexcept { return entry_ != nullptr; }

   private:
    friend class NotificationCenter;
    struct Entry;
    Observation(std::weak_ptr<Core> center, std::shared_ptr<Entry> entry);

    std::weak_ptr<Core> center_;
    std::shared_ptr<Entry> entry_;
  };

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  [[nodiscard]] Observation addObserver(std::string name, Handler handler);
  void postNotification(const Notification& notification);
  void postNotificationName(std::string name, std::any object = {});

  std::size_t observerCount(const std::string& name) const;

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace trevalo::platform
