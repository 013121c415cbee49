#include "simulation/ReplayLocationManager.h"

#include <utility>

#include "trevalo/platform/LocationManagerDelegate.h"

namespace trevalo::simulation {

// Stands between the manager and the SDK's delegate: the manager holds its delegate weakly, so
// the tap belongs to the manager and holds the SDK's delegate weakly in turn.
class ReplayLocationManager::Tap final : public platform::LocationManagerDelegate {
 public:
  explicit Tap(ReplayLocationManager& owner) : owner_(owner) {}

  void setTarget(std::weak_ptr<platform::LocationManagerDelegate> target) {
    target_ = std::move(target);
  }

  void locationManagerDidUpdateLocations(platform::LocationManager& manager,
                                         const std::vector<Location>& locations) override {
    owner_.delivered(locations);
    if (const auto target = target_.lock()) {
      target->locationManagerDidUpdateLocations(manager, locations);
    }
  }
  void locationManagerDidFailWithError(platform::LocationManager& manager,
                                       const Error& error) override {
    if (const auto target = target_.lock()) target->locationManagerDidFailWithError(manager, error);
  }
  void locationManagerDidUpdateHeading(platform::LocationManager& manager,
                                       const platform::Heading& heading) override {
    if (const auto target = target_.lock()) {
      target->locationManagerDidUpdateHeading(manager, heading);
    }
  }
  void locationManagerDidEnterRegion(platform::LocationManager& manager,
                                     const platform::CircularRegion& region) override {
    if (const auto target = target_.lock()) target->locationManagerDidEnterRegion(manager, region);
  }
  void locationManagerDidExitRegion(platform::LocationManager& manager,
                                    const platform::CircularRegion& region) override {
    if (const auto target = target_.lock()) target->locationManagerDidExitRegion(manager, region);
  }

 private:
  ReplayLocationManager& owner_;
  std::weak_ptr<platform::LocationManagerDelegate> target_;
};

ReplayLocationManager::ReplayLocationManager(std::shared_ptr<platform::RunLoop> runLoop)
    : SoftwareLocationManager(std::move(runLoop)), tap_(std::make_shared<Tap>(*this)) {
  SoftwareLocationManager::setDelegate(tap_);
}

ReplayLocationManager::~ReplayLocationManager() = default;

void ReplayLocationManager::setDelegate(std::weak_ptr<platform::LocationManagerDelegate> delegate) {
  tap_->setTarget(std::move(delegate));
}

void ReplayLocationManager::setFixListener(FixListener listener) {
  listener_ = std::move(listener);
}

void ReplayLocationManager::delivered(const std::vector<Location>& fixes) {
  delivered_ += fixes.size();
  if (!listener_) return;
  for (const Location& fix : fixes)
    listener_(fix);
}

}  // namespace trevalo::simulation
