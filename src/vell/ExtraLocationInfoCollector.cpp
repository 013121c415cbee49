#include "vell/ExtraLocationInfoCollector.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "json/ParserUtils.h"
#include "utils/TRUtils.h"
#include "vell/SampleListJson.h"

namespace trevalo {

namespace {

template <class Sample>
void append(std::mutex& mutex, std::deque<Sample>& list, const std::optional<Sample>& sample) {
  if (!sample) return;
  const std::lock_guard lock(mutex);
  TRUtils::addRollingData(*sample, list, ExtraLocationInfoCollector::kSampleLimit);
}

template <class Sample>
std::vector<Sample> copyOf(const std::deque<Sample>& list) {
  return std::vector<Sample>(list.begin(), list.end());
}

// Whole milliseconds, truncated toward zero. Converting NaN or a value beyond the 64-bit range
// to an integer is undefined, so NaN gives nothing and the rest saturates.
std::optional<std::int64_t> truncatedMilliseconds(double seconds) {
  const double milliseconds = seconds * 1000.0;
  if (std::isnan(milliseconds)) return std::nullopt;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (milliseconds >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (milliseconds < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(milliseconds);
}

}  // namespace

void ExtraLocationInfoCollector::addAccelerometerDataIfNeeded(
    const std::optional<platform::AccelerometerData>& sample) {
  append(mutex_, accelArray_, sample);
}

void ExtraLocationInfoCollector::addGyroDataIfNeeded(
    const std::optional<platform::GyroData>& sample) {
  append(mutex_, gyroArray_, sample);
}

void ExtraLocationInfoCollector::addAltitude(const std::optional<platform::AltitudeData>& sample) {
  append(mutex_, altitudeArray_, sample);
}

void ExtraLocationInfoCollector::addNewHeading(const std::optional<platform::Heading>& heading) {
  append(mutex_, headingArray_, heading);
}

std::vector<platform::AccelerometerData> ExtraLocationInfoCollector::getAccelArrayCopy() const {
  const std::lock_guard lock(mutex_);
  return copyOf(accelArray_);
}

std::vector<platform::Heading> ExtraLocationInfoCollector::getHeadingArray() const {
  const std::lock_guard lock(mutex_);
  return copyOf(headingArray_);
}

std::vector<platform::GyroData> ExtraLocationInfoCollector::getGyroArray() const {
  const std::lock_guard lock(mutex_);
  return copyOf(gyroArray_);
}

std::vector<platform::AltitudeData> ExtraLocationInfoCollector::getAltitudeArray() const {
  const std::lock_guard lock(mutex_);
  return copyOf(altitudeArray_);
}

void ExtraLocationInfoCollector::clearInfo() {
  const std::lock_guard lock(mutex_);
  accelArray_.clear();
  headingArray_.clear();
  gyroArray_.clear();
  altitudeArray_.clear();
}

Json ExtraLocationInfoCollector::dictionaryRepresentation() const {
  std::vector<platform::Heading> headings;
  std::vector<platform::AccelerometerData> accelerations;
  std::vector<platform::GyroData> rotations;
  std::vector<platform::AltitudeData> altitudes;
  {
    // One snapshot of all four lists; the JSON is built outside the lock so that the sensor
    // queue is not held up while thousands of maps are written.
    const std::lock_guard lock(mutex_);
    headings = copyOf(headingArray_);
    accelerations = copyOf(accelArray_);
    rotations = copyOf(gyroArray_);
    altitudes = copyOf(altitudeArray_);
  }
  Json dictionary = Json::object();
  ParserUtils::addToDictionary(dictionary, "headings", headingsArrayJson(headings));
  ParserUtils::addToDictionary(dictionary, "accelerometerData",
                               accelerationArrayJson(accelerations));
  ParserUtils::addToDictionary(dictionary, "gyroData", gyroArrayJson(rotations));
  ParserUtils::addToDictionary(dictionary, "altitudeArray", altitudeArrayJson(altitudes));
  return dictionary;
}

// Sensor samples carry their own time, in seconds since the device started; the lists give
// it in milliseconds.
Json ExtraLocationInfoCollector::accelerationArrayJson(
    const std::vector<platform::AccelerometerData>& samples) {
  return vell_detail::sampleListJson(
      samples,
      [](Json& map, const auto& sample) {
        vell_detail::addAxes(map, sample.acceleration, "accelerationX", "accelerationY",
                             "accelerationZ");
      },
      [](const auto& sample) { return sample.timestamp * 1000.0; });
}

Json ExtraLocationInfoCollector::gyroArrayJson(const std::vector<platform::GyroData>& samples) {
  return vell_detail::sampleListJson(
      samples,
      [](Json& map, const auto& sample) {
        vell_detail::addAxes(map, sample.rotationRate, "gyroX", "gyroY", "gyroZ");
      },
      [](const auto& sample) { return sample.timestamp * 1000.0; });
}

Json ExtraLocationInfoCollector::altitudeArrayJson(
    const std::vector<platform::AltitudeData>& samples) {
  return vell_detail::sampleListJson(
      samples,
      [](Json& map, const auto& sample) {
        ParserUtils::addToDictionary(map, "relativeAltitude", sample.relativeAltitude);
      },
      [](const auto& sample) { return sample.timestamp * 1000.0; });
}

Json ExtraLocationInfoCollector::headingsArrayJson(const std::vector<platform::Heading>& headings) {
  Json list = Json::array();
  for (const auto& heading : headings)
    list.push_back(headingJson(heading));
  return list;
}

Json ExtraLocationInfoCollector::headingJson(const platform::Heading& heading) {
  Json map = Json::object();
  ParserUtils::addToDictionary(map, "magneticHeading", heading.magneticHeading);
  ParserUtils::addToDictionary(map, "trueHeading", heading.trueHeading);
  ParserUtils::addToDictionary(map, "headingAccuracy", heading.headingAccuracy);
  ParserUtils::addToDictionary(map, "headingX", heading.x);
  ParserUtils::addToDictionary(map, "headingY", heading.y);
  ParserUtils::addToDictionary(map, "headingZ", heading.z);
  if (const auto milliseconds = truncatedMilliseconds(heading.timestamp.timeIntervalSince1970())) {
    ParserUtils::addToDictionary(map, "timeStamp", *milliseconds);
  }
  return map;
}

}  // namespace trevalo
