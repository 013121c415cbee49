#include "vell/TRVellLocation.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "json/LocationDictionary.h"
#include "json/ParserUtils.h"
#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Exception.h"
#include "utils/TRUtils.h"
#include "vell/CLHeadingCustom.h"
#include "vell/CMAccelerometerDataCustom.h"
#include "vell/ExtraLocationInfoCollector.h"
#include "vell/SampleListJson.h"

namespace trevalo {

namespace {

constexpr double kPi = 3.141592653589793;
// Below this many metres the fix has not moved and keeps the previous direction.
constexpr double kStillDistance = 0.001;
// Folded bearings this close to opposite are put on the previous sample's side.
constexpr double kOppositeTolerance = 2.0;
constexpr std::size_t kSpreadWindow = 3;

constexpr const char* kLocationKey = "self.location";
constexpr const char* kAccelArrayKey = "self.accelArray";
constexpr const char* kHeadingArrayKey = "self.headingArray";
constexpr const char* kDistanceKey = "self.distance";
constexpr const char* kBearingKey = "self.bearing";
constexpr const char* kRealBearingKey = "self.realBearing";
constexpr const char* kStdBearingKey = "self.stdBearing";
constexpr const char* kRealStdBearingKey = "self.realStdBearing";
constexpr const char* kIsIndoorKey = "self.isIndoor";
constexpr const char* kIndoorScoreKey = "self.indoorScore";
constexpr const char* kFutureStdBearingKey = "self.futureStdBearing";
constexpr const char* kFutureRealStdBearingKey = "self.futureRealStdBearing";
constexpr const char* kWifiNameKey = "self.wifiName";
constexpr const char* kCalculatedSpeedKey = "self.calculatedSpeed";
constexpr const char* kModeKey = "self.mode";

// The current time in whole milliseconds since 1970, as the recording service expects it.
std::int64_t nowInMilliseconds() {
  const std::uint64_t milliseconds = TRUtils::millisecondsSince1970(Date::now());
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  return static_cast<std::int64_t>(std::min(milliseconds, kMax));
}

template <class Record, class Sample, class Convert>
std::vector<Sample> samplesFromJson(const Json& json, const char* key, Convert convert) {
  std::vector<Sample> samples;
  const Json* list = ParserUtils::array(json, key);
  if (list == nullptr) return samples;
  samples.reserve(list->size());
  for (const Json& element : *list) {
    // A null or a number in a recording is no sample; rebuilding it would invent one at time 0.
    if (element.is_object()) samples.push_back(convert(Record(element)));
  }
  return samples;
}

template <class Record, class Sample, class Convert>
std::vector<Sample> samplesFromArchive(platform::KeyedUnarchiver& coder, const char* key,
                                       Convert convert) {
  std::vector<Sample> samples;
  auto records = coder.decodeArrayOfObjectsOfClass<Record>(key);
  if (!records) return samples;
  samples.reserve(records->size());
  for (const auto& record : *records) {
    if (!record) throw platform::ArchiveError(std::string("a null sample under ") + key);
    samples.push_back(convert(*record));
  }
  return samples;
}

template <class Record, class Sample>
std::vector<std::shared_ptr<const platform::Archivable>> recordsOf(
    const std::vector<Sample>& samples) {
  std::vector<std::shared_ptr<const platform::Archivable>> records;
  records.reserve(samples.size());
  for (const auto& sample : samples)
    records.push_back(std::make_shared<const Record>(sample));
  return records;
}

double spreadOf(std::span<TRVellLocation* const> window, double TRVellLocation::*field) {
  std::array<double, kSpreadWindow> values{};
  for (std::size_t i = 0; i < window.size(); ++i)
    values[i] = window[i]->*field;
  return TRVellLocation::std(std::span<const double>(values.data(), window.size()));
}

}  // namespace

TRVellLocation::TRVellLocation(Location location) : location(std::move(location)) {}

TRVellLocation::TRVellLocation(Location location, const ExtraLocationInfoCollector& extrInfo,
                               std::optional<std::string> wifiName)
    : location(std::move(location)),
      accelArray(extrInfo.getAccelArrayCopy()),
      headingArray(extrInfo.getHeadingArray()),
      gyroArray(extrInfo.getGyroArray()),
      altitudeArray(extrInfo.getAltitudeArray()),
      avarageAcceleration(calculateAvarageAccel(accelArray)),
      wifiName(std::move(wifiName)) {}

TRVellLocation::TRVellLocation(const Json& json)
    : location(LocationDictionary::initWithDictionary(json, true)),
      accelArray(samplesFromJson<CMAccelerometerDataCustom, platform::AccelerometerData>(
          json, "accelerometerData",
          [](const CMAccelerometerDataCustom& record) { return record.sample(); })),
      headingArray(samplesFromJson<CLHeadingCustom, platform::Heading>(
          json, "headings", [](const CLHeadingCustom& record) { return record.heading(); })),
      isIndoor(ParserUtils::boolValueForKey(json, "isindoor")) {}

TRVellLocation::TRVellLocation(platform::KeyedUnarchiver& coder)
    : location([&coder] {
        auto decoded = coder.decodeLocation(kLocationKey);
        if (!decoded) throw platform::ArchiveError("an enriched location without its location");
        return *decoded;
      }()),
      accelArray(samplesFromArchive<CMAccelerometerDataCustom, platform::AccelerometerData>(
          coder, kAccelArrayKey,
          [](const CMAccelerometerDataCustom& record) { return record.sample(); })),
      headingArray(samplesFromArchive<CLHeadingCustom, platform::Heading>(
          coder, kHeadingArrayKey, [](const CLHeadingCustom& record) { return record.heading(); })),
      distance(coder.decodeDouble(kDistanceKey)),
      bearing(coder.decodeDouble(kBearingKey)),
      realBearing(coder.decodeDouble(kRealBearingKey)),
      stdBearing(coder.decodeDouble(kStdBearingKey)),
      realStdBearing(coder.decodeDouble(kRealStdBearingKey)),
      isIndoor(coder.decodeBool(kIsIndoorKey)),
      indoorScore(coder.decodeDouble(kIndoorScoreKey)),
      futureStdBearing(coder.decodeDouble(kFutureStdBearingKey)),
      futureRealStdBearing(coder.decodeDouble(kFutureRealStdBearingKey)),
      wifiName(coder.decodeString(kWifiNameKey)),
      calculatedSpeed(coder.decodeDouble(kCalculatedSpeedKey)),
      mode(static_cast<TRMode>(coder.decodeInt(kModeKey))) {}

void TRVellLocation::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeLocation(location, kLocationKey);
  coder.encodeObjectList(recordsOf<CMAccelerometerDataCustom>(accelArray), kAccelArrayKey);
  coder.encodeObjectList(recordsOf<CLHeadingCustom>(headingArray), kHeadingArrayKey);
  coder.encodeDouble(distance, kDistanceKey);
  coder.encodeDouble(bearing, kBearingKey);
  coder.encodeDouble(realBearing, kRealBearingKey);
  coder.encodeDouble(stdBearing, kStdBearingKey);
  coder.encodeDouble(realStdBearing, kRealStdBearingKey);
  coder.encodeBool(isIndoor, kIsIndoorKey);
  coder.encodeDouble(indoorScore, kIndoorScoreKey);
  coder.encodeDouble(futureStdBearing, kFutureStdBearingKey);
  coder.encodeDouble(futureRealStdBearing, kFutureRealStdBearingKey);
  coder.encodeString(wifiName, kWifiNameKey);
  coder.encodeDouble(calculatedSpeed, kCalculatedSpeedKey);
  coder.encodeInt(mode, kModeKey);
}

TRVector TRVellLocation::calculateAvarageAccelForLocations(
    const std::vector<std::shared_ptr<TRVellLocation>>& locations) {
  if (locations.empty()) return {};
  TRVector sum;
  for (const auto& entry : locations) {
    if (!entry || !entry->avarageAcceleration) continue;
    sum.x += entry->avarageAcceleration->x;
    sum.y += entry->avarageAcceleration->y;
    sum.z += entry->avarageAcceleration->z;
  }
  const auto n = static_cast<double>(locations.size());
  return {sum.x / n, sum.y / n, sum.z / n};
}

TRVector TRVellLocation::calculateAvarageAccel(
    const std::vector<platform::AccelerometerData>& samples) {
  TRVector mean;
  const auto n = static_cast<double>(samples.size());
  for (const auto& sample : samples) {
    mean.x += sample.acceleration.x / n;
    mean.y += sample.acceleration.y / n;
    mean.z += sample.acceleration.z / n;
  }
  return mean;
}

void TRVellLocation::calculateBearingAndDistanceOverWindow(
    std::span<TRVellLocation* const> window) {
  for (const TRVellLocation* entry : window) {
    if (entry == nullptr) {
      throw Exception(Exception::kInvalidArgument, "the location history holds a null entry");
    }
  }

  if (window.size() > 1) {
    const TRVellLocation& previous = *window[window.size() - 2];
    const Coordinate here = location.coordinate();
    const Coordinate there = previous.location.coordinate();
    distance = TRMath::vellDistanceFromLocation(here, there);
    bearing = distance < kStillDistance ? previous.bearing : bearingPrev(here, there);
    realBearing = bearing;
    // Fold the direction onto the line of travel, then keep it on the previous sample's side
    // when the two are all but opposite.
    if (bearing < 0) bearing += 180.0;
    if (std::fabs(bearing + 180.0 - previous.bearing) < kOppositeTolerance) {
      bearing += 180.0;
    } else if (std::fabs(bearing - 180.0 - previous.bearing) < kOppositeTolerance) {
      bearing -= 180.0;
    }
  } else {
    bearing = 0.0;
    distance = 0.0;
  }

  stdBearing = spreadOf(window, &TRVellLocation::bearing);
  realStdBearing = spreadOf(window, &TRVellLocation::realBearing);

  // The spread belongs to the sample in the middle of the window: with three entries the
  // previous one, with one or two the newest.
  const std::size_t middle = (window.size() + 1) / 2;
  if (middle > 0) {
    TRVellLocation& centre = *window[window.size() - middle];
    centre.futureStdBearing = stdBearing;
    centre.futureRealStdBearing = realStdBearing;
  }
}

double TRVellLocation::bearingPrev(Coordinate coordinate, Coordinate prev) noexcept {
  const double phi1 = toRads(coordinate.latitude);
  const double lambda1 = toRads(coordinate.longitude);
  const double phi2 = toRads(prev.latitude);
  const double lambda2 = toRads(prev.longitude);
  const double deltaLambda = lambda2 - lambda1;
  const double theta = std::atan2(
      std::sin(deltaLambda) * std::cos(phi2),
      std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(deltaLambda));
  return toDegrees(theta);
}

double TRVellLocation::toRads(double degrees) noexcept {
  return degrees * kPi / 180.0;
}

double TRVellLocation::toDegrees(double radians) noexcept {
  return radians * 180.0 / kPi;
}

double TRVellLocation::std(std::span<const double> values) noexcept {
  if (values.empty()) return 0.0;
  const auto n = static_cast<double>(values.size());
  double sum = 0.0;
  for (const double v : values)
    sum += v;
  const double mean = sum / n;
  double squares = 0.0;
  for (const double v : values)
    squares += (v - mean) * (v - mean);
  return std::sqrt(squares / n);
}

std::string TRVellLocation::stringForMode(TRMode mode) {
  switch (mode) {
    case TRModeInitial:
      return "initial";
    case TRModeWalking:
      return "walking";
    case TRModeBurst:
      return "burst";
    case TRModeCar:
      return "car";
    case TRModeVisit:
      return "visit";
    case TRModeVisitWalking:
      return "visitWalking";
    case TRModeGeofence:
      return "geofence";
    case TRModeWifi:
      return "wifi";
  }
  return "unknown";
}

Json TRVellLocation::dictionaryRepresentation() const {
  Json dictionary = LocationDictionary::dictionaryRepresentation(location);
  // Indoors the compass and accelerometer say nothing useful about the venue, and the request
  // stays small.
  if (!isIndoor) {
    ParserUtils::addToDictionary(dictionary, "headings", headingsArrayJson());
    ParserUtils::addToDictionary(dictionary, "accelerometerData", accelerationArrayJson());
  }
  ParserUtils::addToDictionary(dictionary, "wifi", wifiName);
  ParserUtils::addToDictionary(dictionary, "mode", stringForMode(mode));
  ParserUtils::addToDictionary(dictionary, "isindoor", isIndoor);
  return dictionary;
}

Json TRVellLocation::dictionaryRepresentationForTracemoor() const {
  Json dictionary = LocationDictionary::dictionaryRepresentation(location);
  ParserUtils::addToDictionary(dictionary, "headings", headingsArrayJson());
  ParserUtils::addToDictionary(dictionary, "accelerometerData", accelerationArrayJson());
  ParserUtils::addToDictionary(dictionary, "gyroData", gyroArrayJson());
  ParserUtils::addToDictionary(dictionary, "altitudeData", altitudeArrayJson());
  ParserUtils::addToDictionary(dictionary, "wifi", wifiName);
  ParserUtils::addToDictionary(dictionary, "mode", stringForMode(mode));
  ParserUtils::addToDictionary(dictionary, "isindoor", isIndoor);
  return dictionary;
}

Json TRVellLocation::headingsArrayJson() const {
  return ExtraLocationInfoCollector::headingsArrayJson(headingArray);
}

// Recorded samples are stamped with the time the map is built, read once per list; an empty
// list reads no clock.
Json TRVellLocation::accelerationArrayJson() const {
  if (accelArray.empty()) return Json::array();
  return vell_detail::sampleListJson(
      accelArray,
      [](Json& map, const auto& sample) {
        vell_detail::addAxes(map, sample.acceleration, "accelerationX", "accelerationY",
                             "accelerationZ");
      },
      [stamp = nowInMilliseconds()](const auto&) { return stamp; });
}

Json TRVellLocation::gyroArrayJson() const {
  if (gyroArray.empty()) return Json::array();
  return vell_detail::sampleListJson(
      gyroArray,
      [](Json& map, const auto& sample) {
        vell_detail::addAxes(map, sample.rotationRate, "rotationX", "rotationY", "rotationZ");
      },
      [stamp = nowInMilliseconds()](const auto&) { return stamp; });
}

Json TRVellLocation::altitudeArrayJson() const {
  if (altitudeArray.empty()) return Json::array();
  return vell_detail::sampleListJson(
      altitudeArray,
      [](Json& map, const auto& sample) {
        ParserUtils::addToDictionary(map, "altitude", sample.relativeAltitude);
      },
      [stamp = nowInMilliseconds()](const auto&) { return stamp; });
}

}  // namespace trevalo
