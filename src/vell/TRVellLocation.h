#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/AccelerometerData.h"
#include "trevalo/platform/AltitudeData.h"
#include "trevalo/platform/Archivable.h"
// Complete, so that overload resolution between the JSON and the archive constructors can
// rule the archive reader out.
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/GyroData.h"
#include "trevalo/platform/Heading.h"
#include "trevalo/platform/Location.h"
#include "utils/TRMode.h"
#include "vell/TRMath.h"
#include "vell/TRVector.h"

namespace trevalo {

class ExtraLocationInfoCollector;

// The sample the analysis works on: one location fix with the sensor samples gathered since
// the previous fix, the Wi-Fi network name, and values derived from the recent history
// (distance and bearing to the previous sample, the spread of the last three bearings,
// acceleration means, speed, the indoor verdict and the analyzer's mode).
//
// Filled in three stages on the main thread: construction, the analyzer's processing, and the
// spread written in later by the next sample's `calculateBearingAndDistance`. It has no lock.
//
// The keyed archive holds the location, the accelerometer and heading lists, distance,
// bearings, spreads, the indoor verdict and score, the Wi-Fi name, the speed and the mode;
// everything else reads back at its default.
class TRVellLocation final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRVellLocation";

  // A fix with no sensor samples and no Wi-Fi name.
  explicit TRVellLocation(Location location);
  // Takes copies of the collector's four lists and the mean of the accelerometer samples.
  TRVellLocation(Location location, const ExtraLocationInfoCollector& extrInfo,
                 std::optional<std::string> wifiName);
  // Replays a recorded sample: the location dictionary ("timestamp" in seconds since 1970),
  // "headings", "accelerometerData" and "isindoor". Nothing else is read or derived; entries
  // of the two lists that are not maps are skipped.
  explicit TRVellLocation(const Json& json);
  // Raises ArchiveError when the archived record holds no location.
  explicit TRVellLocation(platform::KeyedUnarchiver& coder);

  Location location;
  std::vector<platform::AccelerometerData> accelArray;
  std::vector<platform::Heading> headingArray;
  std::vector<platform::GyroData> gyroArray;
  std::vector<platform::AltitudeData> altitudeArray;
  // Nothing until computed (a replayed or unarchived sample has none).
  std::optional<TRVector> avarageAcceleration;
  std::optional<TRVector> rollingAvarageAcceleration;
  double distance = 0.0;
  double bearing = 0.0;
  double realBearing = 0.0;
  double stdBearing = 0.0;
  double realStdBearing = 0.0;
  bool isIndoor = false;
  double indoorScore = 0.0;
  double futureStdBearing = 0.0;
  double futureRealStdBearing = 0.0;
  std::optional<std::string> wifiName;
  double calculatedSpeed = 0.0;
  TRMode mode = TRModeInitial;

  // The time of the fix.
  Date timestamp() const noexcept { return location.timestamp(); }

  // Sets `rollingAvarageAcceleration` from the last `rollingAccelerometerNumber` entries of
  // `history` (the analyzer passes 10).
  template <class Sequence>
  void calculateRollingAverageAcceleration(const Sequence& history,
                                           std::uint64_t rollingAccelerometerNumber) {
    rollingAvarageAcceleration = getAvarageAccelerationFor(history, rollingAccelerometerNumber);
  }

  // The mean of the meaningful acceleration means among the last `lastPointsCount` entries;
  // entries without one (or null entries) are left out, and with none left it is (0, 0, 0).
  template <class Sequence>
  static TRVector getAvarageAccelerationFor(const Sequence& list, std::uint64_t lastPointsCount) {
    std::vector<std::shared_ptr<TRVellLocation>> kept;
    for (const auto& entry : TRMath::getLastItemsFrom(list, lastPointsCount)) {
      if (entry && entry->avarageAcceleration && entry->avarageAcceleration->hasMeaningfulValue()) {
        kept.push_back(entry);
      }
    }
    return calculateAvarageAccelForLocations(kept);
  }

  // The plain mean of the entries' acceleration means; (0, 0, 0) for none. Entries without a
  // mean count as (0, 0, 0).
  static TRVector calculateAvarageAccelForLocations(
      const std::vector<std::shared_ptr<TRVellLocation>>& locations);
  // The mean acceleration of the samples; (0, 0, 0) for none.
  static TRVector calculateAvarageAccel(const std::vector<platform::AccelerometerData>& samples);

  // Distance and bearing to the previous sample of `history` (oldest first, ending with this
  // sample, as the analyzer keeps it: a std::deque or std::vector of shared pointers), the
  // spread of the last three bearings, and that spread written into the sample the window is
  // centred on. Only the last three entries are read. Raises Exception (invalid argument) when
  // one of them is null.
  template <class Sequence>
  void calculateBearingAndDistance(const Sequence& history) {
    std::array<TRVellLocation*, 3> window{};
    const std::size_t count = std::min<std::size_t>(std::size(history), window.size());
    auto it = std::end(history);
    for (std::size_t i = count; i > 0; --i)
      window[i - 1] = (--it)->get();
    calculateBearingAndDistanceOverWindow(std::span(window.data(), count));
  }

  // The initial great-circle bearing from `coordinate` towards `prev`, in degrees in
  // (-180, 180].
  static double bearingPrev(Coordinate coordinate, Coordinate prev) noexcept;
  static double toRads(double degrees) noexcept;
  static double toDegrees(double radians) noexcept;
  // The population standard deviation (divided by n); 0 for no values.
  static double std(std::span<const double> values) noexcept;

  // "initial", "walking", "burst", "car", "visit", "visitWalking", "geofence", "wifi";
  // "unknown" for any other value.
  static std::string stringForMode(TRMode mode);

  // The map sent in the "points" of a venue-resolution request: the location dictionary, the
  // heading and accelerometer lists (only for an outdoor sample), "wifi" (when there is a
  // name), "mode" and "isindoor".
  Json dictionaryRepresentation() const;
  // The map sent to the recording service: the location dictionary, all four sample lists,
  // "wifi" (when there is a name), "mode" and "isindoor".
  Json dictionaryRepresentationForTracemoor() const;

  // The per-sample forms used by both maps. Headings carry their own time ("timeStamp" in
  // whole milliseconds since 1970); the accelerometer, gyroscope and altitude forms are
  // stamped with the current time of the platform clock, in whole milliseconds since 1970.
  Json headingsArrayJson() const;
  Json accelerationArrayJson() const;
  Json gyroArrayJson() const;
  Json altitudeArrayJson() const;

  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  void calculateBearingAndDistanceOverWindow(std::span<TRVellLocation* const> window);
};

}  // namespace trevalo
