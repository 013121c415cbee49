#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "trevalo/platform/MotionActivityManager.h"
#include "trevalo/platform/RunLoop.h"
#include "trevalo/platform/simulated/MotionActivityScript.h"
#include "trevalo/platform/simulated/SensorStream.h"

namespace trevalo::platform {

// An activity classifier that plays a MotionActivityScript: a started stream reports the
// segment under way at once, then each later segment when it begins (through one-shot timers
// on the run loop), and falls silent when the script is over. Activities may also be handed
// in directly, from any thread.
class SimulatedMotionActivityManager final
    : public MotionActivityManager,
      public std::enable_shared_from_this<SimulatedMotionActivityManager> {
 public:
  explicit SimulatedMotionActivityManager(std::shared_ptr<RunLoop> runLoop, bool available = true);

  // As SimulatedMotionManager::play; a stream that is on reports the segment now under way.
  void play(MotionActivityScript script);
  void play(MotionActivityScript script, double originUptime);

  bool isActivityAvailable() const override;
  void setActivityAvailable(bool available);

  void startActivityUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                   ActivityHandler handler) override;
  void stopActivityUpdates() override;

  bool isActivityActive() const { return stream_.isActive(); }
  bool deliverActivity(const MotionActivity& activity) const;

 private:
  // Reports the segment holding script time `seconds` and arms the timer for the next one.
  void reportFrom(double seconds);

  const std::shared_ptr<RunLoop> runLoop_;
  mutable std::mutex mutex_;
  MotionActivityScript script_;
  double originUptime_ = 0.0;
  bool available_;
  // Tells a timer armed for an earlier script or stream that it is out of date.
  std::uint64_t playback_ = 0;
  SensorStream<MotionActivity> stream_;
};

}  // namespace trevalo::platform
