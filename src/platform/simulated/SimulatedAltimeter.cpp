#include "trevalo/platform/simulated/SimulatedAltimeter.h"

#include <cmath>
#include <utility>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

SimulatedAltimeter::SimulatedAltimeter(std::shared_ptr<RunLoop> runLoop, bool available)
    : runLoop_(std::move(runLoop)), available_(available) {
  if (!runLoop_) throw Exception(Exception::kInvalidArgument, "a run loop is needed");
  originUptime_ = runLoop_->clock().systemUptime();
}

void SimulatedAltimeter::play(AltitudeScript script) {
  play(std::move(script), runLoop_->clock().systemUptime());
}

void SimulatedAltimeter::play(AltitudeScript script, double originUptime) {
  if (!std::isfinite(originUptime)) {
    throw Exception(Exception::kInvalidArgument, "a script needs a finite start");
  }
  {
    const std::lock_guard lock(mutex_);
    script_ = std::move(script);
    originUptime_ = originUptime;
  }
  if (stream_.isActive()) stream_.setTimer(scheduleTicks());
}

bool SimulatedAltimeter::isRelativeAltitudeAvailable() const {
  const std::lock_guard lock(mutex_);
  return available_;
}

void SimulatedAltimeter::setRelativeAltitudeAvailable(bool available) {
  const std::lock_guard lock(mutex_);
  available_ = available;
}

void SimulatedAltimeter::startRelativeAltitudeUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                                             AltitudeHandler handler) {
  if (!isRelativeAltitudeAvailable()) return;
  stream_.start(std::move(queue), std::move(handler));
  {
    const std::lock_guard lock(mutex_);
    streamBase_.reset();
  }
  stream_.setTimer(scheduleTicks());
}

void SimulatedAltimeter::stopRelativeAltitudeUpdates() {
  stream_.stop();
}

bool SimulatedAltimeter::deliverAltitudeData(const AltitudeData& sample) const {
  return stream_.deliver(sample);
}

std::shared_ptr<Timer> SimulatedAltimeter::scheduleTicks() {
  return runLoop_->scheduleTimer(kUpdateInterval, true, [weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->tick();
  });
}

void SimulatedAltimeter::tick() {
  const double uptime = runLoop_->clock().systemUptime();
  std::optional<AltitudeData> sample;
  bool over = false;
  {
    const std::lock_guard lock(mutex_);
    const double elapsed = uptime - originUptime_;
    if (const auto altitude = script_.altitudeAt(elapsed)) {
      if (!streamBase_) streamBase_ = *altitude;
      sample = AltitudeData{*altitude - *streamBase_, uptime};
    } else {
      over = elapsed >= script_.duration();
    }
  }
  if (sample) stream_.deliver(*sample);
  if (over) stream_.setTimer(nullptr);
}

}  // namespace trevalo::platform
