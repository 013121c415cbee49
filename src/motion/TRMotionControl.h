#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "motion/TRAccelerometerAnalysis.h"
#include "motion/TRMotionControlDelegate.h"
#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/Altimeter.h"
#include "trevalo/platform/AltitudeData.h"
#include "trevalo/platform/GyroData.h"
#include "trevalo/platform/MotionActivity.h"
#include "trevalo/platform/MotionActivityManager.h"
#include "trevalo/platform/MotionManager.h"
#include "trevalo/utils/TRActivityMode.h"
#include "vell/TRVector.h"

namespace trevalo {

class ExtraLocationInfoCollector;

// Switches the device's motion sensors on and off, routes their samples to the collector, and
// tells the delegate what the user is doing: every 5 seconds from a step-counting analysis of
// the accelerometer, or, when asked for, from each update of the platform's activity
// classifier.
//
// Threads. Accelerometer, gyroscope and altitude samples arrive on one private serial
// operation queue, made afresh at every start with fresh sensor objects; the accelerometer
// window is touched only there. Results reach the delegate on the platform's run loop, in the
// order they were produced, so the analyzer behind it is only ever changed from that thread;
// classifier updates are delivered on the run loop directly. Each start begins a new run: a
// sample or result of an earlier run that turns up late is dropped, and a window left half
// full by a stop is gone. Start and stop may be called from any thread; called on the run
// loop, `stopMotion` guarantees that no result reaches the delegate after it.
class TRMotionControl : public std::enable_shared_from_this<TRMotionControl> {
  struct Key {
    explicit Key() = default;
  };

 public:
  static constexpr double kSensorUpdateInterval = 0.05;  // seconds: 20 samples a second
  static constexpr double kWindowDuration = 5.0;         // seconds of samples per analysis
  static constexpr std::size_t kWindowSampleLimit = 120;

  static std::shared_ptr<TRMotionControl> make(
      std::shared_ptr<ExtraLocationInfoCollector> collector);

  TRMotionControl(Key, std::shared_ptr<ExtraLocationInfoCollector> collector);
  ~TRMotionControl();
  TRMotionControl(const TRMotionControl&) = delete;
  TRMotionControl& operator=(const TRMotionControl&) = delete;

  void setDelegate(std::weak_ptr<TRMotionControlDelegate> delegate);

  // Use the platform's activity classifier instead of the accelerometer, from the next start.
  void setUseIOSMotionActivity(bool use);
  bool useIOSMotionActivity() const;

  // Starts a new run (stopping the current one first). With the classifier option, only the
  // classifier (`startMotionActivity`). Otherwise it logs "accel is on", makes a motion
  // manager with both update intervals at 0.05 s and the serial sensor queue, starts the
  // accelerometer, the gyroscope when the device has one, and relative altitude when the
  // platform has an altimeter and it offers relative altitude.
  void startMotion();
  // Stops every stream the current run started; nothing of that run is delivered afterwards.
  void stopMotion();
  // Starts a new run with only the activity classifier, its updates delivered on the run loop.
  void startMotionActivity();
  bool isMotionOn() const;

  // The sensor objects of the current run (nothing while motion is off, or for the ones the
  // run does not use).
  std::shared_ptr<platform::MotionManager> motionManager() const;
  std::shared_ptr<platform::Altimeter> altimeter() const;
  std::shared_ptr<platform::MotionActivityManager> motionActivityManager() const;

  // The classifier's verdict as one activity mode, the flag that explains the others winning:
  // automotive, then cycling (where the platform offers it), running, walking, stationary;
  // unknown without any of them.
  static TRActivityMode getActivityModeByMotionActivty(const platform::MotionActivity& activity);

  // Where the sensor streams deliver; exposed for replays feeding recorded samples, from any
  // thread. Gyroscope and altitude samples go to the collector. An accelerometer sample goes to
  // the collector too and, while the sensors are on, into the window: it is handed to the
  // sensor queue, where the stream's own samples are windowed, and once the window spans 5 s
  // or holds 120 samples it is analysed, emptied, and the result is handed to the run loop
  // for the delegate. With motion off, or only the classifier on, samples are collected and
  // not analysed. No sample handed in is lost: one still waiting for the sensor queue when the
  // sensors stop is collected then.
  void handleNewAccelerationData(const platform::AccelerometerData& sample);
  void handleNewGyroData(const platform::GyroData& sample);
  void handleNewAltitude(const platform::AltitudeData& sample);

  // The step-counting analysis of one window (samples in time order). Nothing for no samples.
  static std::optional<TRAccelerometerAnalysis> analyzeAccelerometerData(
      const std::vector<platform::AccelerometerData>& samples);

  // The mean acceleration of the samples with start <= i < end. Nothing for an empty range
  // (there is no mean of no samples); a range beyond the list, or reversed, raises an
  // invalid-argument Exception.
  static std::optional<TRVector> averageFor(const std::vector<platform::AccelerometerData>& samples,
                                            std::size_t start, std::size_t end);

 private:
  struct Run;

  std::shared_ptr<Run> currentRun() const;
  // Replaces the current run with `next` (nothing: motion off) and stops the old one's streams.
  void replaceRun(std::shared_ptr<Run> next);
  std::shared_ptr<Run> makeRun() const;
  void startOrUndo(const std::shared_ptr<Run>& run,
                   void (TRMotionControl::*start)(const std::shared_ptr<Run>&));
  void startSensors(const std::shared_ptr<Run>& run);
  void startClassifier(const std::shared_ptr<Run>& run);

  void accelerationArrived(const std::shared_ptr<Run>& run,
                           const platform::AccelerometerData& sample);
  void postResult(const std::shared_ptr<Run>& run, TRActivityMode mode);
  void notifyDelegate(TRActivityMode mode) const;

  const std::shared_ptr<ExtraLocationInfoCollector> collector_;
  // Held through a whole start or stop, so that two of them never interleave.
  std::mutex lifecycleMutex_;
  mutable std::mutex mutex_;
  std::weak_ptr<TRMotionControlDelegate> delegate_;
  bool useIOSMotionActivity_ = false;
  std::shared_ptr<Run> run_;
};

}  // namespace trevalo
