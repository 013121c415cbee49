#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace trevalo::platform {

// A value that the application or the platform may supply (the Wi-Fi network name, the
// advertising identifier, the carrier); nothing when it has none.
using TextSource = std::function<std::optional<std::string>()>;

// A text value that can be changed at any time from any thread and read through a TextSource.
// Copies share the value.
class SettableText {
 public:
  explicit SettableText(std::optional<std::string> initial = std::nullopt)
      : state_(std::make_shared<State>()) {
    state_->value = std::move(initial);
  }

  void set(std::optional<std::string> value) {
    const std::lock_guard lock(state_->mutex);
    state_->value = std::move(value);
  }
  std::optional<std::string> get() const { return state_->get(); }
  TextSource source() const {
    return [state = state_] { return state->get(); };
  }

 private:
  struct State {
    std::optional<std::string> get() const {
      const std::lock_guard lock(mutex);
      return value;
    }
    mutable std::mutex mutex;
    std::optional<std::string> value;
  };
  std::shared_ptr<State> state_;
};

}  // namespace trevalo::platform
