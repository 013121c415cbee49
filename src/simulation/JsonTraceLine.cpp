#include "simulation/JsonTraceLine.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "simulation/FastTraceLine.h"
#include "trevalo/Json.h"

namespace trevalo::simulation {

namespace {

using Type = JsonTraceLine::Type;

const Json& member(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) throw TraceLineError(std::string("missing \"") + key + "\"");
  return *found;
}

double finiteNumber(const Json& value, const char* key) {
  // nlohmann keeps true and false apart from numbers, so a Boolean is refused here too.
  if (!value.is_number()) throw TraceLineError(std::string("\"") + key + "\" must be a number");
  const double number = value.get<double>();
  if (!std::isfinite(number)) throw TraceLineError(std::string("\"") + key + "\" must be finite");
  return number;
}

double numberInRange(const Json& object, const char* key, double low, double high) {
  const double number = finiteNumber(member(object, key), key);
  if (number < low || number > high) {
    throw TraceLineError(std::string("\"") + key + "\" must lie within [" +
                         std::to_string(static_cast<int>(low)) + ", " +
                         std::to_string(static_cast<int>(high)) + "]");
  }
  return number;
}

std::optional<double> optionalNumber(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return std::nullopt;
  return finiteNumber(*found, key);
}

Type typeNamed(const std::string& name) {
  static constexpr std::pair<const char*, Type> kTypes[] = {{"fix", Type::kFix},
                                                            {"activity", Type::kActivity},
                                                            {"wifi", Type::kWifi},
                                                            {"wifi_check", Type::kWifiCheck},
                                                            {"region_enter", Type::kRegionEnter},
                                                            {"region_exit", Type::kRegionExit},
                                                            {"accel", Type::kAccelerometer},
                                                            {"heading", Type::kHeading}};
  for (const auto& [text, type] : kTypes) {
    if (name == text) return type;
  }
  throw TraceLineError("unknown \"type\" \"" + name +
                       "\" (expected fix, activity, wifi, wifi_check, region_enter, "
                       "region_exit, accel or heading)");
}

Location fixFrom(const Json& object, Date time) {
  const double latitude = numberInRange(object, "lat", -90.0, 90.0);
  const double longitude = numberInRange(object, "lng", -180.0, 180.0);
  const double accuracy = finiteNumber(member(object, "acc"), "acc");
  // A missing or null course or speed is the platform's "invalid", -1.
  const double course = optionalNumber(object, "course").value_or(-1.0);
  const double speed = optionalNumber(object, "speed").value_or(-1.0);
  const auto altitude = optionalNumber(object, "alt");
  const auto verticalAccuracy = optionalNumber(object, "vacc");
  return Location({latitude, longitude}, altitude.value_or(0.0), accuracy,
                  verticalAccuracy.value_or(altitude ? 1.5 * accuracy : -1.0), course, speed, time);
}

platform::Acceleration acceleration(const Json& x, const Json& y, const Json& z) {
  return {finiteNumber(x, "x"), finiteNumber(y, "y"), finiteNumber(z, "z")};
}

void readAccelerometer(const Json& object, JsonTraceLine& line) {
  const auto samples = object.find("samples");
  if (samples == object.end()) {
    line.samples.push_back(
        acceleration(member(object, "x"), member(object, "y"), member(object, "z")));
    return;
  }
  if (!samples->is_array()) throw TraceLineError("\"samples\" must be an array of [x, y, z]");
  line.sampleRate = finiteNumber(member(object, "hz"), "hz");
  if (line.sampleRate <= 0.0) throw TraceLineError("\"hz\" must be positive");
  line.samples.reserve(samples->size());
  for (const Json& sample : *samples) {
    if (!sample.is_array() || sample.size() != 3) {
      throw TraceLineError("\"samples\" must be an array of [x, y, z]");
    }
    line.samples.push_back(acceleration(sample[0], sample[1], sample[2]));
  }
}

}  // namespace

JsonTraceLine JsonTraceLine::parse(std::string_view text) {
  if (auto quick = FastTraceLine::parse(text)) return std::move(*quick);
  return parseDocument(text);
}

JsonTraceLine JsonTraceLine::parseDocument(std::string_view text) {
  const Json object = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (object.is_discarded()) throw TraceLineError("not valid JSON");
  if (!object.is_object()) throw TraceLineError("not a JSON object");

  JsonTraceLine line;
  line.time = Date(finiteNumber(member(object, "t"), "t"));
  const Json& type = member(object, "type");
  if (!type.is_string()) throw TraceLineError("\"type\" must be a string");
  line.type = typeNamed(type.get<std::string>());

  switch (line.type) {
    case Type::kFix:
      line.fix = fixFrom(object, line.time);
      break;
    case Type::kActivity: {
      const Json& value = member(object, "value");
      if (!value.is_number_unsigned()) {
        throw TraceLineError("\"value\" must be a non-negative integer");
      }
      line.activity = value.get<std::uint64_t>();
      break;
    }
    case Type::kWifi: {
      const Json& ssid = member(object, "ssid");
      if (ssid.is_string()) {
        line.ssid = ssid.get<std::string>();
      } else if (!ssid.is_null()) {
        throw TraceLineError("\"ssid\" must be a string or null");
      }
      break;
    }
    case Type::kRegionEnter:
    case Type::kRegionExit: {
      const auto identifier = object.find("id");
      if (identifier != object.end()) {
        if (!identifier->is_string()) throw TraceLineError("\"id\" must be a string");
        line.regionIdentifier = identifier->get<std::string>();
      }
      break;
    }
    case Type::kAccelerometer:
      readAccelerometer(object, line);
      break;
    case Type::kHeading:
      line.heading.magneticHeading = numberInRange(object, "magnetic", 0.0, 360.0);
      line.heading.trueHeading = optionalNumber(object, "true").value_or(-1.0);
      line.heading.headingAccuracy = optionalNumber(object, "acc").value_or(-1.0);
      line.heading.timestamp = line.time;
      break;
    case Type::kWifiCheck:
      break;
  }
  return line;
}

}  // namespace trevalo::simulation
