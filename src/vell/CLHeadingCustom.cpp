#include "vell/CLHeadingCustom.h"

#include <nlohmann/json.hpp>

#include "json/ParserUtils.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {

constexpr const char* kMagneticHeadingKey = "_trMagneticHeading";
constexpr const char* kTrueHeadingKey = "_trTrueHeading";
constexpr const char* kHeadingAccuracyKey = "_trHeadingAccuracy";
constexpr const char* kXKey = "_trX";
constexpr const char* kYKey = "_trY";
constexpr const char* kZKey = "_trZ";
constexpr const char* kTimestampKey = "_trTimestamp";

}  // namespace

CLHeadingCustom::CLHeadingCustom(const platform::Heading& heading) noexcept
    : trMagneticHeading_(heading.magneticHeading),
      trTrueHeading_(heading.trueHeading),
      trHeadingAccuracy_(heading.headingAccuracy),
      trX_(heading.x),
      trY_(heading.y),
      trZ_(heading.z),
      trTimestamp_(heading.timestamp) {}

CLHeadingCustom::CLHeadingCustom(const Json& json)
    : trMagneticHeading_(ParserUtils::doubleValue(json, "magneticHeading")),
      trTrueHeading_(ParserUtils::doubleValue(json, "trueHeading")),
      trHeadingAccuracy_(ParserUtils::doubleValue(json, "headingAccuracy")),
      trX_(ParserUtils::doubleValue(json, "headingX")),
      trY_(ParserUtils::doubleValue(json, "headingY")),
      trZ_(ParserUtils::doubleValue(json, "headingZ")),
      trTimestamp_(ParserUtils::doubleValue(json, "timeStamp") / 1000.0) {}

CLHeadingCustom::CLHeadingCustom(platform::KeyedUnarchiver& coder)
    : trMagneticHeading_(coder.decodeDouble(kMagneticHeadingKey)),
      trTrueHeading_(coder.decodeDouble(kTrueHeadingKey)),
      trHeadingAccuracy_(coder.decodeDouble(kHeadingAccuracyKey)),
      trX_(coder.decodeDouble(kXKey)),
      trY_(coder.decodeDouble(kYKey)),
      trZ_(coder.decodeDouble(kZKey)),
      trTimestamp_(coder.decodeDate(kTimestampKey).value_or(Date())) {}

platform::Heading CLHeadingCustom::heading() const noexcept {
  return {.magneticHeading = trMagneticHeading_,
          .trueHeading = trTrueHeading_,
          .headingAccuracy = trHeadingAccuracy_,
          .x = trX_,
          .y = trY_,
          .z = trZ_,
          .timestamp = trTimestamp_};
}

void CLHeadingCustom::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeDouble(trMagneticHeading_, kMagneticHeadingKey);
  coder.encodeDouble(trTrueHeading_, kTrueHeadingKey);
  coder.encodeDouble(trHeadingAccuracy_, kHeadingAccuracyKey);
  coder.encodeDouble(trX_, kXKey);
  coder.encodeDouble(trY_, kYKey);
  coder.encodeDouble(trZ_, kZKey);
  coder.encodeDate(trTimestamp_, kTimestampKey);
}

}  // namespace trevalo
