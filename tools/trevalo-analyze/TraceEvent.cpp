#include "TraceEvent.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "trevalo/Json.h"

namespace trevalo::tools {

namespace {

const Json& member(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) throw TraceError(std::string("missing \"") + key + "\"");
  return *found;
}

double finiteNumber(const Json& value, const char* key) {
  // nlohmann keeps true and false apart from numbers, so a Boolean is refused here too.
  if (!value.is_number()) throw TraceError(std::string("\"") + key + "\" must be a number");
  const double number = value.get<double>();
  if (!std::isfinite(number)) throw TraceError(std::string("\"") + key + "\" must be finite");
  return number;
}

double numberInRange(const Json& object, const char* key, double low, double high) {
  const double number = finiteNumber(member(object, key), key);
  if (number < low || number > high) {
    throw TraceError(std::string("\"") + key + "\" must lie within [" +
                     std::to_string(static_cast<int>(low)) + ", " +
                     std::to_string(static_cast<int>(high)) + "]");
  }
  return number;
}

// Course and speed: a missing or null member is the platform's "invalid", -1.
double optionalNumber(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return -1.0;
  return finiteNumber(*found, key);
}

TraceEvent::Type typeNamed(const std::string& name) {
  if (name == "fix") return TraceEvent::Type::kFix;
  if (name == "activity") return TraceEvent::Type::kActivity;
  if (name == "wifi") return TraceEvent::Type::kWifi;
  if (name == "wifi_check") return TraceEvent::Type::kWifiCheck;
  if (name == "region_exit") return TraceEvent::Type::kRegionExit;
  throw TraceError("unknown \"type\" \"" + name +
                   "\" (expected fix, activity, wifi, wifi_check or region_exit)");
}

}  // namespace

TraceEvent parseTraceEvent(std::string_view line) {
  const Json object = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (object.is_discarded()) throw TraceError("not valid JSON");
  if (!object.is_object()) throw TraceError("not a JSON object");

  TraceEvent event;
  event.t = finiteNumber(member(object, "t"), "t");
  const Json& type = member(object, "type");
  if (!type.is_string()) throw TraceError("\"type\" must be a string");
  event.type = typeNamed(type.get<std::string>());

  switch (event.type) {
    case TraceEvent::Type::kFix:
      event.latitude = numberInRange(object, "lat", -90.0, 90.0);
      event.longitude = numberInRange(object, "lng", -180.0, 180.0);
      event.accuracy = finiteNumber(member(object, "acc"), "acc");
      event.course = optionalNumber(object, "course");
      event.speed = optionalNumber(object, "speed");
      break;
    case TraceEvent::Type::kActivity: {
      const Json& value = member(object, "value");
      if (!value.is_number_unsigned()) {
        throw TraceError("\"value\" must be a non-negative integer");
      }
      event.activity = value.get<std::uint64_t>();
      break;
    }
    case TraceEvent::Type::kWifi: {
      const Json& ssid = member(object, "ssid");
      if (ssid.is_string()) {
        event.ssid = ssid.get<std::string>();
      } else if (!ssid.is_null()) {
        throw TraceError("\"ssid\" must be a string or null");
      }
      break;
    }
    case TraceEvent::Type::kWifiCheck:
    case TraceEvent::Type::kRegionExit:
      break;
  }
  return event;
}

}  // namespace trevalo::tools
