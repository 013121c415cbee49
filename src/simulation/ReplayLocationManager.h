#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "trevalo/platform/SoftwareLocationManager.h"

namespace trevalo::simulation {

// The location manager of a replayed device: the software location manager, which decides
// from the SDK's own requests which of the recorded fixes, headings and region crossings the
// SDK gets to see, and which also tells a listener each fix it hands to the SDK.
class ReplayLocationManager final : public platform::SoftwareLocationManager {
 public:
  using FixListener = std::function<void(const Location&)>;

  explicit ReplayLocationManager(std::shared_ptr<platform::RunLoop> runLoop);
  ~ReplayLocationManager() override;
  ReplayLocationManager(const ReplayLocationManager&) = delete;
  ReplayLocationManager& operator=(const ReplayLocationManager&) = delete;

  void setDelegate(std::weak_ptr<platform::LocationManagerDelegate> delegate) override;
  // Called on the run loop, right before the SDK gets the fix.
  void setFixListener(FixListener listener);

  std::size_t fixesDelivered() const noexcept { return delivered_; }

 private:
  class Tap;

  void delivered(const std::vector<Location>& fixes);

  std::shared_ptr<Tap> tap_;
  FixListener listener_;
  std::size_t delivered_ = 0;
};

}  // namespace trevalo::simulation
