#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "trevalo/platform/Altimeter.h"
#include "trevalo/platform/RunLoop.h"
#include "trevalo/platform/simulated/AltitudeScript.h"
#include "trevalo/platform/simulated/SensorStream.h"

namespace trevalo::platform {

// An altimeter that plays an AltitudeScript: while updates are on, a timer on the run loop
// reads the altitude every kUpdateInterval and queues it, relative to the first reading of
// the stream and stamped with the clock's uptime. Silent once the script is over. Samples may
// also be handed in directly, from any thread.
class SimulatedAltimeter final : public Altimeter,
                                 public std::enable_shared_from_this<SimulatedAltimeter> {
 public:
  static constexpr double kUpdateInterval = 1.0;

  explicit SimulatedAltimeter(std::shared_ptr<RunLoop> runLoop, bool available = true);

  // As SimulatedMotionManager::play.
  void play(AltitudeScript script);
  void play(AltitudeScript script, double originUptime);

  bool isRelativeAltitudeAvailable() const override;
  void setRelativeAltitudeAvailable(bool available);

  void startRelativeAltitudeUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                           AltitudeHandler handler) override;
  void stopRelativeAltitudeUpdates() override;

  bool isRelativeAltitudeActive() const { return stream_.isActive(); }
  bool deliverAltitudeData(const AltitudeData& sample) const;

 private:
  std::shared_ptr<Timer> scheduleTicks();
  void tick();

  const std::shared_ptr<RunLoop> runLoop_;
  mutable std::mutex mutex_;
  AltitudeScript script_;
  double originUptime_ = 0.0;
  bool available_;
  std::optional<double> streamBase_;  // the script's altitude at the stream's first reading
  SensorStream<AltitudeData> stream_;
};

}  // namespace trevalo::platform
