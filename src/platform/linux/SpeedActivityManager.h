#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/SpeedActivityClassifier.h"
#include "trevalo/platform/Location.h"
#include "trevalo/platform/MotionActivityManager.h"
#include "trevalo/platform/simulated/SensorStream.h"

namespace trevalo::platform {

// The activity classifier of a machine without motion sensors: verdicts from the speed of the
// receiver's fixes (SpeedActivityClassifier), which the location source hands over as they
// come. It is available once a source feeds it. A started stream reports the verdict with the
// first fix that tells one, then every change, and repeats it every kRepeatInterval of fix
// time while it holds, as a classifier working on sensor windows reports each window: what
// reads "walked lately" from the reports sees a long walk as one.
class SpeedActivityManager final : public MotionActivityManager {
 public:
  static constexpr double kRepeatInterval = 5.0;  // seconds

  bool isActivityAvailable() const override;
  void setAvailable(bool available);

  void startActivityUpdatesToQueue(std::shared_ptr<OperationQueue> queue,
                                   ActivityHandler handler) override;
  void stopActivityUpdates() override;

  // Fixes from the location source, oldest first, from any thread.
  void observe(const std::vector<Location>& fixes);

 private:
  mutable std::mutex mutex_;
  bool available_ = false;
  SpeedActivityClassifier classifier_;
  std::optional<MotionActivity> reported_;
  double reportedAt_ = 0.0;  // the fix time of the last report, seconds since 1970
  SensorStream<MotionActivity> stream_;
};

}  // namespace trevalo::platform
