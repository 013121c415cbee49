#include "motion/TRMotionControl.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <deque>
#include <utility>

#include "platform/RunLoopExecutor.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/OperationQueue.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/utils/TRLogger.h"
#include "utils/TRUtils.h"
#include "vell/ExtraLocationInfoCollector.h"
#include "vell/TRMath.h"

namespace trevalo {

using platform::AccelerometerData;
using platform::AltitudeData;
using platform::GyroData;
using platform::MotionActivity;

namespace {

constexpr std::size_t kSmoothingHalfWidth = 15;  // samples on each side of the local mean
constexpr std::size_t kOrientationCheckEvery = 20;
constexpr double kOrientationJumpLimit = 0.5;  // g
constexpr double kMinimumGravity = 0.7;        // g
constexpr double kCoarseThreshold = 0.085;     // g
constexpr double kCoarseSpacing = 0.25;        // seconds between coarse crossings of one axis
constexpr double kFineThreshold = 0.015;       // g
constexpr double kCrossingsPerSecond = 2.0;
constexpr double kCrossingsMargin = 3.0;
constexpr double kFineToCoarseRatio = 4.0;

std::array<double, 3> axes(const platform::Acceleration& a) {
  return {a.x, a.y, a.z};
}
std::array<double, 3> axes(const TRVector& v) {
  return {v.x, v.y, v.z};
}

std::shared_ptr<platform::OperationQueue> serialQueue(
    std::shared_ptr<platform::Executor> executor) {
  auto queue = std::make_shared<platform::OperationQueue>(std::move(executor));
  queue->setMaxConcurrentOperationCount(1);
  return queue;
}

}  // namespace

// One stretch of motion between a start and the stop (or the next start). Its streams hold it
// weakly and its results check `active`, so nothing of it outlives the stop.
struct TRMotionControl::Run {
  std::atomic<bool> active{true};
  std::shared_ptr<platform::RunLoop> runLoop;  // where results go
  std::shared_ptr<platform::OperationQueue> queue;
  std::shared_ptr<platform::MotionManager> motionManager;
  std::shared_ptr<platform::Altimeter> altimeter;
  std::shared_ptr<platform::MotionActivityManager> activityManager;
  // Whether this run analyses accelerometer samples (a run of the sensors, not of the
  // classifier), whether or not the platform has an accelerometer to stream them.
  bool analysesAccelerometer = false;
  // The accelerometer window (`lastAccelerometerData`), only ever touched on the sensor queue.
  std::vector<AccelerometerData> window;
  // Samples handed in by the application that the sensor queue has not taken up yet. A stop
  // passes them to the collector, so that none is lost with the run's queue.
  std::mutex handedInMutex;
  std::deque<AccelerometerData> handedIn;

  void stopStreams() const {
    if (motionManager) {
      motionManager->stopAccelerometerUpdates();
      motionManager->stopGyroUpdates();
    }
    if (altimeter) altimeter->stopRelativeAltitudeUpdates();
    if (activityManager) activityManager->stopActivityUpdates();
  }
};

std::shared_ptr<TRMotionControl> TRMotionControl::make(
    std::shared_ptr<ExtraLocationInfoCollector> collector) {
  return std::make_shared<TRMotionControl>(Key{}, std::move(collector));
}

TRMotionControl::TRMotionControl(Key, std::shared_ptr<ExtraLocationInfoCollector> collector)
    : collector_(std::move(collector)) {
  if (!collector_) throw Exception(Exception::kInvalidArgument, "a sample collector is needed");
}

TRMotionControl::~TRMotionControl() {
  replaceRun(nullptr);
}

void TRMotionControl::setDelegate(std::weak_ptr<TRMotionControlDelegate> delegate) {
  const std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void TRMotionControl::setUseIOSMotionActivity(bool use) {
  const std::lock_guard lock(mutex_);
  useIOSMotionActivity_ = use;
}

bool TRMotionControl::useIOSMotionActivity() const {
  const std::lock_guard lock(mutex_);
  return useIOSMotionActivity_;
}

void TRMotionControl::startMotion() {
  if (useIOSMotionActivity()) {
    startMotionActivity();
    return;
  }
  const std::lock_guard lifecycle(lifecycleMutex_);
  replaceRun(nullptr);
  TRLogger::instance()->send("accel is on", "", 0);
  const auto run = makeRun();
  startOrUndo(run, &TRMotionControl::startSensors);
  replaceRun(run);
}

void TRMotionControl::startMotionActivity() {
  const std::lock_guard lifecycle(lifecycleMutex_);
  replaceRun(nullptr);
  const auto run = makeRun();
  startOrUndo(run, &TRMotionControl::startClassifier);
  replaceRun(run);
}

void TRMotionControl::stopMotion() {
  const std::lock_guard lifecycle(lifecycleMutex_);
  replaceRun(nullptr);
}

bool TRMotionControl::isMotionOn() const {
  return currentRun() != nullptr;
}

std::shared_ptr<platform::MotionManager> TRMotionControl::motionManager() const {
  const auto run = currentRun();
  return run ? run->motionManager : nullptr;
}

std::shared_ptr<platform::Altimeter> TRMotionControl::altimeter() const {
  const auto run = currentRun();
  return run ? run->altimeter : nullptr;
}

std::shared_ptr<platform::MotionActivityManager> TRMotionControl::motionActivityManager() const {
  const auto run = currentRun();
  return run ? run->activityManager : nullptr;
}

std::shared_ptr<TRMotionControl::Run> TRMotionControl::currentRun() const {
  const std::lock_guard lock(mutex_);
  return run_;
}

void TRMotionControl::replaceRun(std::shared_ptr<Run> next) {
  std::shared_ptr<Run> previous;
  {
    const std::lock_guard lock(mutex_);
    previous = std::exchange(run_, std::move(next));
  }
  if (!previous) return;
  previous->active.store(false, std::memory_order_release);
  previous->stopStreams();
  std::deque<AccelerometerData> handedIn;
  {
    const std::lock_guard lock(previous->handedInMutex);
    handedIn.swap(previous->handedIn);
  }
  for (const auto& sample : handedIn)
    collector_->addAccelerometerDataIfNeeded(sample);
}

void TRMotionControl::startOrUndo(const std::shared_ptr<Run>& run,
                                  void (TRMotionControl::*start)(const std::shared_ptr<Run>&)) {
  try {
    (this->*start)(run);
  } catch (...) {
    // A sensor that refused to start must not leave the others streaming into a run that
    // never became current.
    run->active.store(false, std::memory_order_release);
    run->stopStreams();
    throw;
  }
}

std::shared_ptr<TRMotionControl::Run> TRMotionControl::makeRun() const {
  auto run = std::make_shared<Run>();
  run->runLoop = platform::Platform::current().services().runLoop;
  run->window.reserve(kWindowSampleLimit);
  return run;
}

void TRMotionControl::startSensors(const std::shared_ptr<Run>& run) {
  const platform::Platform& platform = platform::Platform::current();
  run->queue = serialQueue(platform.operationExecutor());
  run->analysesAccelerometer = true;
  const std::weak_ptr<TRMotionControl> weakSelf = weak_from_this();
  const std::weak_ptr<Run> weakRun = run;

  // A sample of a run that has ended, or of a control that is gone, is dropped here.
  auto live = [weakSelf,
               weakRun]() -> std::pair<std::shared_ptr<TRMotionControl>, std::shared_ptr<Run>> {
    auto current = weakRun.lock();
    if (!current || !current->active.load(std::memory_order_acquire)) return {};
    auto self = weakSelf.lock();
    if (!self) return {};
    return {std::move(self), std::move(current)};
  };

  run->motionManager = platform.makeMotionManager();
  if (const auto& manager = run->motionManager) {
    manager->setAccelerometerUpdateInterval(kSensorUpdateInterval);
    manager->setGyroUpdateInterval(kSensorUpdateInterval);
    manager->startAccelerometerUpdatesToQueue(run->queue, [live](const AccelerometerData& sample) {
      if (const auto [self, current] = live(); self) self->accelerationArrived(current, sample);
    });
    if (manager->isGyroAvailable()) {
      manager->startGyroUpdatesToQueue(run->queue, [live](const GyroData& sample) {
        if (const auto [self, current] = live(); self) {
          self->collector_->addGyroDataIfNeeded(sample);
        }
      });
    }
  }

  run->altimeter = platform.makeAltimeter();
  if (run->altimeter && run->altimeter->isRelativeAltitudeAvailable()) {
    run->altimeter->startRelativeAltitudeUpdatesToQueue(
        run->queue, [live](const AltitudeData& sample) {
          if (const auto [self, current] = live(); self) self->collector_->addAltitude(sample);
        });
  }
}

void TRMotionControl::startClassifier(const std::shared_ptr<Run>& run) {
  const platform::Platform& platform = platform::Platform::current();
  // The classifier reports on the main queue: a queue whose operations run on the run loop.
  run->queue = serialQueue(std::make_shared<platform::RunLoopExecutor>(run->runLoop));
  run->activityManager = platform.makeMotionActivityManager();
  if (!run->activityManager) return;
  const std::weak_ptr<TRMotionControl> weakSelf = weak_from_this();
  const std::weak_ptr<Run> weakRun = run;
  run->activityManager->startActivityUpdatesToQueue(
      run->queue, [weakSelf, weakRun](const MotionActivity& activity) {
        const auto current = weakRun.lock();
        if (!current || !current->active.load(std::memory_order_acquire)) return;
        if (const auto self = weakSelf.lock()) {
          self->notifyDelegate(getActivityModeByMotionActivty(activity));
        }
      });
}

TRActivityMode TRMotionControl::getActivityModeByMotionActivty(const MotionActivity& activity) {
  // The classifier may set several flags at once (a car waiting at a light is automotive and
  // stationary; a slow walk may carry the stationary flag). The verdict is the one activity
  // that explains the others, the most vigorous.
  if (activity.automotive) return TRActivityModeAutomotive;
  if (activity.offersCycling && activity.cycling) return TRActivityModeCycling;
  if (activity.running) return TRActivityModeRunning;
  if (activity.walking) return TRActivityModeWalking;
  if (activity.stationary) return TRActivityModeStationary;
  return TRActivityModeUnknown;
}

void TRMotionControl::handleNewAccelerationData(const AccelerometerData& sample) {
  const auto run = currentRun();
  bool queued = false;
  if (run && run->analysesAccelerometer) {
    const std::lock_guard lock(run->handedInMutex);
    // A run stopped meanwhile has passed on what it held; this sample goes the same way.
    if (run->active.load(std::memory_order_acquire)) {
      run->handedIn.push_back(sample);
      queued = true;
    }
  }
  if (!queued) {
    collector_->addAccelerometerDataIfNeeded(sample);
    return;
  }
  // The window belongs to the sensor queue: the caller's sample joins the stream's there, in
  // turn, instead of racing it. Each task takes up the oldest sample handed in.
  run->queue->addOperationWithBlock(
      [weakSelf = weak_from_this(), weakRun = std::weak_ptr<Run>(run)] {
        const auto self = weakSelf.lock();
        const auto current = weakRun.lock();
        if (!self || !current) return;
        AccelerometerData sample;
        {
          const std::lock_guard lock(current->handedInMutex);
          if (current->handedIn.empty()) return;
          sample = current->handedIn.front();
          current->handedIn.pop_front();
        }
        if (current->active.load(std::memory_order_acquire)) {
          self->accelerationArrived(current, sample);
        } else {
          self->collector_->addAccelerometerDataIfNeeded(sample);
        }
      });
}

void TRMotionControl::handleNewGyroData(const GyroData& sample) {
  collector_->addGyroDataIfNeeded(sample);
}

void TRMotionControl::handleNewAltitude(const AltitudeData& sample) {
  collector_->addAltitude(sample);
}

void TRMotionControl::accelerationArrived(const std::shared_ptr<Run>& run,
                                          const AccelerometerData& sample) {
  collector_->addAccelerometerDataIfNeeded(sample);
  auto& window = run->window;
  TRUtils::addRollingData(sample, window, kWindowSampleLimit);
  const bool spansWindow = window.back().timestamp - window.front().timestamp >= kWindowDuration;
  if (!spansWindow && window.size() < kWindowSampleLimit) return;

  const std::vector<AccelerometerData> samples = std::exchange(window, {});
  window.reserve(kWindowSampleLimit);
  if (const auto analysis = analyzeAccelerometerData(samples)) postResult(run, analysis->mode);
}

void TRMotionControl::postResult(const std::shared_ptr<Run>& run, TRActivityMode mode) {
  // The analyzer behind the delegate lives on the run loop; the run loop keeps the results in
  // the order they were posted.
  run->runLoop->post([weakSelf = weak_from_this(), weakRun = std::weak_ptr<Run>(run), mode] {
    const auto current = weakRun.lock();
    if (!current || !current->active.load(std::memory_order_acquire)) return;
    if (const auto self = weakSelf.lock()) self->notifyDelegate(mode);
  });
}

void TRMotionControl::notifyDelegate(TRActivityMode mode) const {
  std::shared_ptr<TRMotionControlDelegate> delegate;
  {
    const std::lock_guard lock(mutex_);
    delegate = delegate_.lock();
  }
  if (!delegate) return;
  delegate->processActivityChange(mode);
  delegate->optionalWillChangeActivityMode(mode);
}

std::optional<TRVector> TRMotionControl::averageFor(const std::vector<AccelerometerData>& samples,
                                                    std::size_t start, std::size_t end) {
  if (start > end || end > samples.size()) {
    throw Exception(Exception::kInvalidArgument, "the range lies outside the samples");
  }
  if (start == end) return std::nullopt;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  for (std::size_t i = start; i < end; ++i) {
    x += samples[i].acceleration.x;
    y += samples[i].acceleration.y;
    z += samples[i].acceleration.z;
  }
  const auto count = static_cast<double>(end - start);
  return TRVector(x / count, y / count, z / count);
}

std::optional<TRAccelerometerAnalysis> TRMotionControl::analyzeAccelerometerData(
    const std::vector<AccelerometerData>& samples) {
  const std::size_t n = samples.size();
  if (n == 0) return std::nullopt;

  const AccelerometerData& first = samples.front();
  TRAccelerometerAnalysis result;
  result.duration = samples.back().timestamp - first.timestamp;
  const std::size_t halfWidth = std::min(n, kSmoothingHalfWidth);

  // The first counted crossing of an axis is measured against the first raw reading's sign.
  std::array<double, 3> previousCoarse = axes(first.acceleration);
  std::array<double, 3> previousFine = previousCoarse;
  std::array<double, 3> lastCoarseTime{first.timestamp, first.timestamp, first.timestamp};
  std::optional<TRVector> reference;

  for (std::size_t i = 0; i < n; ++i) {
    // The last sample never enters a mean, so a window of one sample has no mean at all and
    // nothing to compare with.
    const auto mean =
        averageFor(samples, i > halfWidth ? i - halfWidth : 0, std::min(n - 1, i + halfWidth));
    if (!mean) continue;

    if (i % kOrientationCheckEvery == 0) {
      if (!reference) {
        reference = mean;
      } else if (TRMath::distanceBetweenVector(*reference, *mean) > kOrientationJumpLimit ||
                 TRMath::lengthOfVector(*mean) < kMinimumGravity) {
        // Turned, or not at rest under gravity: the crossings say nothing about steps.
        result.coarseCrossings = 0.0;
        break;
      } else {
        reference = mean;
      }
    }

    const auto values = axes(samples[i].acceleration);
    const auto means = axes(*mean);
    const double time = samples[i].timestamp;
    for (std::size_t a = 0; a < 3; ++a) {
      const double deviation = values[a] - means[a];
      if (std::abs(deviation) > kCoarseThreshold && deviation * previousCoarse[a] < 0.0 &&
          time - lastCoarseTime[a] > kCoarseSpacing) {
        lastCoarseTime[a] = time;
        previousCoarse[a] = deviation;
        result.coarseCrossings += 1.0;
      }
      if (std::abs(deviation) > kFineThreshold && deviation * previousFine[a] < 0.0) {
        previousFine[a] = deviation;
        result.fineCrossings += 1.0;
      }
    }
  }

  const bool walking =
      result.coarseCrossings > kCrossingsPerSecond * result.duration + kCrossingsMargin &&
      kFineToCoarseRatio * result.coarseCrossings > result.fineCrossings;
  result.mode = walking ? TRActivityModeWalking : TRActivityModeStationary;
  return result;
}

}  // namespace trevalo
