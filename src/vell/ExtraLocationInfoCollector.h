#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/AltitudeData.h"
#include "trevalo/platform/GyroData.h"
#include "trevalo/platform/Heading.h"

namespace trevalo {

// Buffers the sensor samples that arrive between two location updates: accelerometer,
// gyroscope and altitude samples from the sensor queue, compass headings from the location
// callbacks. Each enriched location copies the buffers; the facade clears them after every
// batch of fixes.
//
// Thread-safe: every operation takes the one lock over the four lists, so a copy never sees a
// half-applied append or trim. Each list keeps the latest `kSampleLimit` samples.
class ExtraLocationInfoCollector {
 public:
  static constexpr std::size_t kSampleLimit = 5000;

  ExtraLocationInfoCollector() = default;
  ExtraLocationInfoCollector(const ExtraLocationInfoCollector&) = delete;
  ExtraLocationInfoCollector& operator=(const ExtraLocationInfoCollector&) = delete;

  // Each appends the sample, dropping the oldest beyond the limit; no sample does nothing.
  void addAccelerometerDataIfNeeded(const std::optional<platform::AccelerometerData>& sample);
  void addGyroDataIfNeeded(const std::optional<platform::GyroData>& sample);
  void addAltitude(const std::optional<platform::AltitudeData>& sample);
  void addNewHeading(const std::optional<platform::Heading>& heading);

  // Copies, oldest first.
  std::vector<platform::AccelerometerData> getAccelArrayCopy() const;
  std::vector<platform::Heading> getHeadingArray() const;
  std::vector<platform::GyroData> getGyroArray() const;
  std::vector<platform::AltitudeData> getAltitudeArray() const;

  void clearInfo();

  // {"headings", "accelerometerData", "gyroData", "altitudeArray"}: the four lists in their
  // JSON forms below, taken together at one instant.
  Json dictionaryRepresentation() const;

  // The collector's JSON forms, one map per sample in list order. A NaN value leaves its key
  // out. "timeStamp" is the sample's own time: for the sensor samples a double count of
  // milliseconds since the device started; for headings whole milliseconds since 1970,
  // truncated toward zero (left out for a NaN time, saturated beyond the 64-bit range).
  static Json accelerationArrayJson(const std::vector<platform::AccelerometerData>& samples);
  static Json gyroArrayJson(const std::vector<platform::GyroData>& samples);
  static Json altitudeArrayJson(const std::vector<platform::AltitudeData>& samples);
  static Json headingsArrayJson(const std::vector<platform::Heading>& headings);
  static Json headingJson(const platform::Heading& heading);

 private:
  mutable std::mutex mutex_;
  std::deque<platform::Heading> headingArray_;
  std::deque<platform::AccelerometerData> accelArray_;
  std::deque<platform::GyroData> gyroArray_;
  std::deque<platform::AltitudeData> altitudeArray_;
};

}  // namespace trevalo
